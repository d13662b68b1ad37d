// The feature bitmap and the feature names.
#include <array>
#include <cstdio>

#include "drv_if.h"
#include "soc_property.h"

namespace {

struct FeatureName {
    int feature;
    const char *name;
};

constexpr FeatureName kFamilyFeatures[] = {
    {soc_feature_zero, "zero"},
    {soc_feature_stg, "stg"},
    {soc_feature_phy_cl45, "phy_cl45"},
    {soc_feature_l2_hashed, "l2_hashed"},
    {soc_feature_l2_lookup_cmd, "l2_lookup_cmd"},
    {soc_feature_l2_lookup_retry, "l2_lookup_retry"},
    {soc_feature_field, "field"},
    {soc_feature_field_slice_enable, "field_slice_enable"},
    {soc_feature_dodeca_serdes, "dodeca_serdes"},
    {soc_feature_tarn_sw_override, "tarn_sw_override"},
    {soc_feature_igmp_ip, "igmp_ip"},
    {soc_feature_dscp, "dscp"},
    {soc_feature_auth, "auth"},
    {soc_feature_mstp, "mstp"},
    {soc_feature_arl_mode_control, "arl_mode_control"},
    {soc_feature_field_without_ranger, "field_without_ranger"},
    {soc_feature_count, "count"},
};

// Features of other chip families keep their numbers under generic names.
struct NameTable {
    std::array<std::array<char, 24>, soc_feature_count + 1> names{};
    NameTable() {
        for (int f = 0; f <= soc_feature_count; f++)
            std::snprintf(names[f].data(), names[f].size(), "feature_%d", f);
        for (const FeatureName &n : kFamilyFeatures)
            std::snprintf(names[n.feature].data(), names[n.feature].size(), "%s", n.name);
    }
};

}  // namespace

const char *soc_feature_name(int feature) {
    static const NameTable table;
    if (feature < 0 || feature > soc_feature_count) return "?";
    return table.names[feature].data();
}

void soc_feature_init(int unit) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr) return;
    for (uint32_t &word : soc->features)
        word = 0;
    const soc_driver_t *drv = soc->chip_driver;
    if (drv == nullptr || drv->feature == nullptr) return;
    for (int f = 0; f < soc_feature_count; f++) {
        if (drv->feature(unit, f)) soc->features[f / 32] |= 1u << (f % 32);
    }
}

// Feature predicates of the chip driver records.
#include <algorithm>
#include <iterator>

#include "drv_if.h"
#include "soc_property.h"

namespace {

constexpr int kDxp7102Features[] = {
    soc_feature_stg,
    soc_feature_l2_hashed,
    soc_feature_l2_lookup_cmd,
    soc_feature_l2_lookup_retry,
    soc_feature_igmp_ip,
    soc_feature_dscp,
    soc_feature_auth,
    soc_feature_mstp,
    soc_feature_arl_mode_control,
};

constexpr int kDxp7101Features[] = {
    soc_feature_stg,
    soc_feature_l2_hashed,
    soc_feature_l2_lookup_cmd,
    soc_feature_l2_lookup_retry,
    soc_feature_field,
    soc_feature_field_slice_enable,
    soc_feature_dodeca_serdes,
    soc_feature_tarn_sw_override,
    soc_feature_igmp_ip,
    soc_feature_dscp,
    soc_feature_auth,
    soc_feature_mstp,
    soc_feature_arl_mode_control,
    soc_feature_field_without_ranger,
};

template <size_t N>
int has(const int (&features)[N], int feature) {
    return std::find(std::begin(features), std::end(features), feature) != std::end(features);
}

}  // namespace

int drv_dxp7102_feature(int, int feature) {
    return has(kDxp7102Features, feature);
}

int drv_dxp7101_feature(int, int feature) {
    return has(kDxp7101Features, feature);
}

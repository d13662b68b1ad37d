// A unit's capabilities: configuration properties (named strings of the
// platform's configuration store with unit, chip and port overrides) and the
// feature bitmap filled from the chip driver's feature predicate.
#pragma once

#include <cstdint>

#include "soc_control.h"

// Feature numbers (the ones this family has, and clause-45 MDIO which the
// MIIM entries test); the others belong to other chip families.
enum soc_feature_t : int {
    soc_feature_zero = 0,
    soc_feature_stg = 54,
    soc_feature_phy_cl45 = 80,
    soc_feature_l2_hashed = 103,
    soc_feature_l2_lookup_cmd = 104,
    soc_feature_l2_lookup_retry = 105,
    soc_feature_field = 113,
    soc_feature_field_slice_enable = 124,
    soc_feature_dodeca_serdes = 135,
    soc_feature_tarn_sw_override = 234,
    soc_feature_igmp_ip = 235,
    soc_feature_dscp = 236,
    soc_feature_auth = 237,
    soc_feature_mstp = 238,
    soc_feature_arl_mode_control = 239,
    soc_feature_field_without_ranger = 243,
    soc_feature_count = 247,
};

// Name of a feature ("zero" .. "count"), "?" outside the table.
const char *soc_feature_name(int feature);
// Zeroes the bitmap and sets every feature 0..246 the driver's predicate
// answers. Run at attach and at every init.
void soc_feature_init(int unit);
inline bool soc_feature(int unit, int feature) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && feature >= 0 && feature < soc_feature_count &&
           (s->features[feature / 32] >> (feature % 32)) & 1u;
}

// Lookup order: "name.unit", "name.<chip type>", "name.<chip group>", "name"
// (the first three only for a unit >= 0). Null when absent.
const char *soc_property_get_str(int unit, const char *name);
// The string as an integer (decimal or 0x hex), or dflt when absent.
int soc_property_get(int unit, const char *name, int dflt);
// The string as a 64-bit port bitmap (empty on a parse error); when absent,
// all ones with default_all, else empty.
soc_pbmp_t soc_property_get_pbmp(int unit, const char *name, int default_all);
// Per port: "name_fe12", "name_fe", "name_port<1-based front position>",
// "name", then dflt.
int soc_property_port_get(int unit, int port, const char *name, int dflt);
// The text soc_property_port_get reads, null when none is stored.
const char *soc_property_port_get_str(int unit, int port, const char *name);
// "name_ch<n>" (or "name_cos<n>"), "name", then dflt.
int soc_property_ch_get(int unit, int n, const char *name, int dflt);
int soc_property_cos_get(int unit, int n, const char *name, int dflt);

// Port-type and block names by block type ("?" when unknown) and back (0).
const char *soc_block_port_name_lookup(uint32_t block_type);
const char *soc_block_name_lookup(uint32_t block_type);
uint32_t soc_block_port_name_match(const char *name);
uint32_t soc_block_name_match(const char *name);

// The packet decoder: a table-driven printer that names each layer of a
// frame (Ethernet, ARP or IP, ICMP or TCP) from registries of EtherTypes, IP
// protocols, ICMP types and codes, and prints one line per layer.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "diag_pkt.h"
#include "sal.h"

namespace {

constexpr int kTextSize = 4096;
constexpr int kUnknownDump = 20;
constexpr int kEtherUnknownDump = 64;

// Appends to a fixed buffer; what does not fit is dropped.
struct Text {
    char *buf;
    int size;
    int len;
    void add(const char *fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (len >= size - 1) return;
        va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(buf + len, static_cast<size_t>(size - len), fmt, ap);
        va_end(ap);
        if (n > 0) len = len + n < size - 1 ? len + n : size - 1;
    }
    void dump(const uint8_t *data, int length, int count) {
        for (int i = 0; i < count && i < length; i++)
            add("%s%02x", i ? " " : "", data[i]);
    }
};

unsigned be16(const uint8_t *p) {
    return static_cast<unsigned>(p[0]) << 8 | p[1];
}
unsigned long be32(const uint8_t *p) {
    return static_cast<unsigned long>(be16(p)) << 16 | be16(p + 2);
}

struct proto_t;

struct reg_row_t {
    uint32_t lo;
    uint32_t hi;
    const proto_t *next;
    const char *name;
};

// What one decoding step sees: the frame from the layer on, and the registry
// row that led to it (for layers that name their parent's row).
struct layer_t {
    const uint8_t *data;
    int length;
    const reg_row_t *row;
    const reg_row_t *parent;
};

struct proto_t {
    const char *name;
    // Appends the layer's fields; false when the layer was reported short or
    // unknown and decoding stops.
    bool (*decode)(Text *t, const layer_t &l);
    // -1, 0 or 1 of the frame's key against the row's range; null: no key.
    int (*compare)(const layer_t &l, const reg_row_t &row);
    int (*header_length)(const layer_t &l);
    const reg_row_t *rows;
    int row_count;
};

int key_compare(uint32_t key, const reg_row_t &row) {
    if (key < row.lo) return -1;
    if (key > row.hi) return 1;
    return 0;
}

// ---------------------------------------------------------------- Ethernet
bool ether_tagged(const layer_t &l) {
    return l.length >= 18 && be16(l.data + 12) == 0x8100;
}
int ether_llc(const layer_t &l) {
    return ether_tagged(l) ? 18 : 14;
}
bool ether_snap(const layer_t &l) {
    int llc = ether_llc(l);
    return l.length >= llc + 8 && be16(l.data + llc - 2) < 0x600 && be16(l.data + llc) == 0xAAAA &&
           l.data[llc + 2] == 3;
}
uint32_t ether_key(const layer_t &l) {
    return be16(l.data + (ether_tagged(l) ? 16 : 12));
}
int ether_compare(const layer_t &l, const reg_row_t &row) {
    return key_compare(l.length >= 14 ? ether_key(l) : 0, row);
}
int ether_header_length(const layer_t &l) {
    return ether_snap(l) ? ether_llc(l) + 8 : ether_llc(l);
}
bool ether_decode(Text *t, const layer_t &l) {
    if (l.length < 14 || l.length < ether_header_length(l)) {
        t->add("ETHER (***INVALID LENGTH %d***):", l.length);
        t->dump(l.data, l.length, l.length);
        return false;
    }
    const uint8_t *d = l.data;
    t->add("dst<%02x:%02x:%02x:%02x:%02x:%02x> src<%02x:%02x:%02x:%02x:%02x:%02x> ", d[0], d[1],
           d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11]);
    t->add("%s", ether_tagged(l) ? "Tagged Packet " : "Untagged Packet ");
    bool snap = ether_snap(l);
    if (snap) t->add("SNAP Packet ");
    uint32_t key = ether_key(l);
    if (key < 0x600) {
        t->add("Length<%u-bytes> ", key);
        if (snap) {
            int llc = ether_llc(l);
            t->add("ProtID<0x%04x> Ctrl<0x%04x> ", be16(d + llc + 6), d[llc + 2]);
        }
    }
    if (l.row == nullptr) {
        t->add("* Unknown/Experimental format * ");
        t->dump(d, l.length, kEtherUnknownDump);
        return false;
    }
    t->add("%s", l.row->name);
    return true;
}

// ---------------------------------------------------------------- ARP
int arp_header_length(const layer_t &l) {
    return l.length >= 6 ? 8 + 2 * (l.data[4] + l.data[5]) : 8;
}
int arp_compare(const layer_t &l, const reg_row_t &row) {
    return key_compare(l.length >= 8 ? be16(l.data + 6) : 0, row);
}
void arp_hw(Text *t, const uint8_t *p, int n) {
    for (int i = 0; i < n; i++)
        t->add("%s%02x", i ? ":" : "", p[i]);
}
void arp_pa(Text *t, const uint8_t *p, int n) {
    for (int i = 0; i < n; i++)
        t->add("%s%d", i ? ":" : "", p[i]);
}
bool arp_decode(Text *t, const layer_t &l) {
    if (l.length < 8 || l.length < arp_header_length(l)) {
        t->add("ARP (***INVALID***):");
        t->dump(l.data, l.length, l.length);
        return false;
    }
    const uint8_t *d = l.data;
    int hl = d[4], pl = d[5];
    t->add("%s fmt<%u> src-ha<", l.row != nullptr ? l.row->name : "", be16(d));
    arp_hw(t, d + 8, hl);
    t->add("> src_pa<");
    arp_pa(t, d + 8 + hl, pl);
    t->add("> tar_ha<");
    arp_hw(t, d + 8 + hl + pl, hl);
    t->add("> tar_pa<");
    arp_pa(t, d + 8 + 2 * hl + pl, pl);
    t->add(">");
    return true;
}

// ---------------------------------------------------------------- IP
int ip_header_length(const layer_t &) {
    return 20;  // options are not skipped
}
int ip_compare(const layer_t &l, const reg_row_t &row) {
    return key_compare(l.length > 9 ? l.data[9] : 0, row);
}
bool ip_decode(Text *t, const layer_t &l) {
    if (l.length < 20) {
        t->add("(***INVALID***):");
        t->dump(l.data, l.length, l.length);
        return false;
    }
    const uint8_t *d = l.data;
    t->add("V(%d) src<%d.%d.%d.%d> dst<%d.%d.%d.%d> hl<%d> ", d[0] >> 4, d[12], d[13], d[14], d[15],
           d[16], d[17], d[18], d[19], d[0] & 0xf);
    t->add("service-type<%d> tl<%u> id<%u> frg-off<%u> ", d[1], be16(d + 2), be16(d + 4),
           be16(d + 6));
    t->add("ttl<%d> chk-sum<0x%04x>", d[8], be16(d + 10));
    if (l.row != nullptr) t->add(" %s", l.row->name);
    return true;
}

// ---------------------------------------------------------------- ICMP
// The code layers read the same 8-byte header as the type layer.
int icmp_type_header_length(const layer_t &) {
    return 0;
}
int icmp_header_length(const layer_t &) {
    return 8;
}
int icmp_type_compare(const layer_t &l, const reg_row_t &row) {
    return key_compare(l.length > 0 ? l.data[0] : 0, row);
}
int icmp_code_compare(const layer_t &l, const reg_row_t &row) {
    return key_compare(l.length > 1 ? l.data[1] : 0, row);
}
bool icmp_short(Text *t, const layer_t &l) {
    if (l.length >= 8) return false;
    t->add("(***INVALID***):");
    t->dump(l.data, l.length, l.length);
    return true;
}
bool icmp_type_decode(Text *t, const layer_t &l) {
    if (icmp_short(t, l)) return false;
    t->add("Type-%d (%s) ", l.data[0], l.row != nullptr ? l.row->name : "INVALID");
    return true;
}
bool icmp_code_decode(Text *t, const layer_t &l) {
    if (icmp_short(t, l)) return false;
    t->add("Code-%d (%s) ", l.data[1], l.row != nullptr ? l.row->name : "*Invalid*");
    return true;
}
bool icmp_generic_decode(Text *t, const layer_t &l) {
    if (icmp_short(t, l)) return false;
    const uint8_t *d = l.data;
    t->add(" (%s)Code <%d> Checksum <0x%04x> hun <%02x%02x%02x%02x> ",
           l.parent != nullptr ? l.parent->name : "", d[1], be16(d + 2), d[4], d[5], d[6], d[7]);
    return true;
}

// ---------------------------------------------------------------- TCP
int tcp_header_length(const layer_t &) {
    return 20;
}
bool tcp_decode(Text *t, const layer_t &l) {
    if (l.length < 20) {
        t->add("*Invalid Length for TCP packet* %d-bytes", l.length);
        return false;
    }
    const uint8_t *d = l.data;
    t->add("sPort<%u> dPort<%u> Seq<%lu> Ack<%lu> Off<%d> Flags<0x%02x=", be16(d), be16(d + 2),
           be32(d + 4), be32(d + 8), d[12] >> 4, d[13]);
    static const char *const flags[] = {"FIN", "SYN", "RST", "PUSH", "ACK", "URG"};
    bool first = true;
    for (int b = 0; b < 6; b++) {
        if (!(d[13] >> b & 1)) continue;
        t->add("%s%s", first ? "" : ",", flags[b]);
        first = false;
    }
    t->add("> Csum<0x%04x> Urp<0x%04x>", be16(d + 16), be16(d + 18));
    return true;
}

// ---------------------------------------------------------------- registries
extern const proto_t proto_ether, proto_arp, proto_ip, proto_icmp, proto_icmp3, proto_icmp5,
    proto_icmp11, proto_icmp12, proto_generic, proto_tcp;

#define ROWS(table) table, static_cast<int>(sizeof table / sizeof table[0])

const reg_row_t ether_rows[] = {
    {0x0000, 0x0600, &proto_ip, "802.3 Packet"},
    {0x0660, 0x0661, nullptr, "DLOG"},
    {0x0800, 0x0800, &proto_ip, "Internet Protocol (IP)"},
    {0x0801, 0x0801, nullptr, "X.75 Internet"},
    {0x0802, 0x0802, nullptr, "NBS Internet"},
    {0x0803, 0x0803, nullptr, "ECMA Internet"},
    {0x0804, 0x0804, nullptr, "Chaosnet"},
    {0x0805, 0x0805, nullptr, "X.25 Level 3"},
    {0x0806, 0x0806, &proto_arp, "ARP (IP and CHAOS)"},
    {0x0807, 0x0807, nullptr, "XNS Compatability"},
    {0x0808, 0x0808, nullptr, "Frame Relay ARP [RFC1701]"},
    {0x081C, 0x081C, nullptr, "Symbolics Private"},
    {0x0888, 0x088A, nullptr, "Xyplex"},
    {0x0900, 0x0900, nullptr, "Ungermann-Bass net debugr"},
    {0x0A00, 0x0A00, nullptr, "Xerox IEEE802.3 PUP"},
    {0x0A01, 0x0A01, nullptr, "PUP Addr Trans"},
    {0x0BAD, 0x0BAD, nullptr, "Banyan VINES"},
    {0x0BAE, 0x0BAE, nullptr, "VINES Loopback [RFC1701]"},
    {0x0BAF, 0x0BAF, nullptr, "VINES Echo [RFC1701]"},
    {0x1000, 0x1000, nullptr, "Berkeley Trailer nego"},
    {0x1001, 0x100F, nullptr, "Berkeley Trailer encap/IP"},
    {0x1600, 0x1600, nullptr, "Valid Systems"},
    {0x4242, 0x4242, nullptr, "PCS Basic Block Protocol"},
    {0x5208, 0x5208, nullptr, "BBN Simnet"},
    {0x6000, 0x6000, nullptr, "DEC Unassigned (Exp.)"},
    {0x6001, 0x6001, nullptr, "DEC MOP Dump/Load"},
    {0x6002, 0x6002, nullptr, "DEC MOP Remote Console"},
    {0x6003, 0x6003, nullptr, "DEC DECNET Phase IV Route"},
    {0x6004, 0x6004, nullptr, "DEC LAT"},
    {0x6005, 0x6005, nullptr, "DEC Diagnostic Protocol"},
    {0x6006, 0x6006, nullptr, "DEC Customer Protocol"},
    {0x6007, 0x6007, nullptr, "DEC LAVC, SCA"},
    {0x6008, 0x6009, nullptr, "DEC Unassigned"},
    {0x6010, 0x6014, nullptr, "3Com Corporation"},
    {0x6558, 0x6558, nullptr, "Trans Ether Bridging [RFC1701]"},
    {0x6559, 0x6559, nullptr, "Raw Frame Relay [RFC1701]"},
    {0x7000, 0x7000, nullptr, "Ungermann-Bass download"},
    {0x7002, 0x7002, nullptr, "Ungermann-Bass dia/loop"},
    {0x7020, 0x7029, nullptr, "LRT"},
    {0x7030, 0x7030, nullptr, "Proteon"},
    {0x7034, 0x7034, nullptr, "Cabletron"},
    {0x8003, 0x8003, nullptr, "Cronus VLN [RFC824]"},
    {0x8004, 0x8004, nullptr, "Cronus Direct [RFC824]"},
    {0x8005, 0x8005, nullptr, "HP Probe"},
    {0x8006, 0x8006, nullptr, "Nestar"},
    {0x8008, 0x8008, nullptr, "AT&T"},
    {0x8010, 0x8010, nullptr, "Excelan"},
    {0x8013, 0x8013, nullptr, "SGI diagnostics"},
    {0x8014, 0x8014, nullptr, "SGI network games"},
    {0x8015, 0x8015, nullptr, "SGI reserved"},
    {0x8016, 0x8016, nullptr, "SGI bounce server"},
    {0x8019, 0x8019, nullptr, "Apollo Domain"},
    {0x802E, 0x802E, nullptr, "Tymshare"},
    {0x802F, 0x802F, nullptr, "Tigan, Inc."},
    {0x8035, 0x8035, nullptr, "Reverse ARP [RFC903]"},
    {0x8036, 0x8036, nullptr, "Aeonic Systems"},
    {0x8038, 0x8038, nullptr, "DEC LANBridge"},
    {0x8039, 0x803C, nullptr, "DEC Unassigned"},
    {0x803D, 0x803D, nullptr, "DEC Ethernet Encryption"},
    {0x803E, 0x803E, nullptr, "DEC Unassigned"},
    {0x803F, 0x803F, nullptr, "DEC LAN Traffic Monitor"},
    {0x8040, 0x8042, nullptr, "DEC Unassigned"},
    {0x8044, 0x8044, nullptr, "Planning Research Corp."},
    {0x8046, 0x8047, nullptr, "AT&T"},
    {0x8049, 0x8049, nullptr, "ExperData"},
    {0x805B, 0x805B, nullptr, "Stanford V Kernel exp."},
    {0x805C, 0x805C, nullptr, "Stanford V Kernel prod."},
    {0x805D, 0x805D, nullptr, "Evans & Sutherland"},
    {0x8060, 0x8060, nullptr, "Little Machines"},
    {0x8062, 0x8062, nullptr, "Counterpoint Computers"},
    {0x8065, 0x8066, nullptr, "Univ. of Mass. @ Amherst"},
    {0x8067, 0x8067, nullptr, "Veeco Integrated Auto."},
    {0x8068, 0x8068, nullptr, "General Dynamics"},
    {0x8069, 0x8069, nullptr, "AT&T"},
    {0x806A, 0x806A, nullptr, "Autophon"},
    {0x806C, 0x806C, nullptr, "ComDesign"},
    {0x806D, 0x806D, nullptr, "Computgraphic Corp."},
    {0x806E, 0x8077, nullptr, "Landmark Graphics Corp."},
    {0x807A, 0x807A, nullptr, "Matra"},
    {0x807B, 0x807B, nullptr, "Dansk Data Elektronik"},
    {0x807C, 0x807C, nullptr, "Merit Internodal"},
    {0x807D, 0x807F, nullptr, "Vitalink Communications"},
    {0x8080, 0x8080, nullptr, "Vitalink TransLAN III"},
    {0x8081, 0x8083, nullptr, "Counterpoint Computers"},
    {0x809B, 0x809B, nullptr, "Appletalk"},
    {0x809C, 0x809E, nullptr, "Datability"},
    {0x809F, 0x809F, nullptr, "Spider Systems Ltd."},
    {0x80A3, 0x80A3, nullptr, "Nixdorf Computers"},
    {0x80A4, 0x80B3, nullptr, "Siemens Gammasonics Inc."},
    {0x80C0, 0x80C3, nullptr, "DCA Data Exchange Cluster"},
    {0x80C4, 0x80C5, nullptr, "Banyan Systems"},
    {0x80C6, 0x80C6, nullptr, "Pacer Software"},
    {0x80C7, 0x80C7, nullptr, "Applitek Corporation"},
    {0x80C8, 0x80CC, nullptr, "Intergraph Corporation"},
    {0x80CD, 0x80CE, nullptr, "Harris Corporation"},
    {0x80CF, 0x80D2, nullptr, "Taylor Instrument"},
    {0x80D3, 0x80D4, nullptr, "Rosemount Corporation"},
    {0x80D5, 0x80D5, nullptr, "IBM SNA Service on Ether"},
    {0x80DD, 0x80DD, nullptr, "Varian Associates"},
    {0x80DE, 0x80DF, nullptr, "Integrated Solutions TRFS"},
    {0x80E0, 0x80E3, nullptr, "Allen-Bradley"},
    {0x80E4, 0x80F0, nullptr, "Datability"},
    {0x80F2, 0x80F2, nullptr, "Retix"},
    {0x80F3, 0x80F3, nullptr, "AppleTalk AARP (Kinetics)"},
    {0x80F4, 0x80F5, nullptr, "Kinetics"},
    {0x80F7, 0x80F7, nullptr, "Apollo Computer"},
    {0x80FF, 0x80FF, nullptr, "Wellfleet Communications"},
    {0x8100, 0x8100, nullptr, "IEEE 802.1Q VLAN Tag"},
    {0x8101, 0x8103, nullptr, "Wellfleet Communications"},
    {0x8107, 0x8109, nullptr, "Symbolics Private"},
    {0x8130, 0x8130, nullptr, "Hayes Microcomputers"},
    {0x8131, 0x8131, nullptr, "VG Laboratory Systems"},
    {0x8132, 0x8136, nullptr, "Bridge Communications"},
    {0x8137, 0x8138, nullptr, "Novell, Inc."},
    {0x8139, 0x813D, nullptr, "KTI"},
    {0x8148, 0x8148, nullptr, "Logicraft"},
    {0x8149, 0x8149, nullptr, "Network Computing Devices"},
    {0x814A, 0x814A, nullptr, "Alpha Micro"},
    {0x814C, 0x814C, nullptr, "SNMP [RFC1089]"},
    {0x814D, 0x814E, nullptr, "BIIN"},
    {0x814F, 0x814F, nullptr, "Technically Elite Concept"},
    {0x8150, 0x8150, nullptr, "Rational Corp"},
    {0x8151, 0x8153, nullptr, "Qualcomm"},
    {0x815C, 0x815E, nullptr, "Computer Protocol Pty Ltd"},
    {0x8164, 0x8166, nullptr, "Charles River Data System"},
    {0x817D, 0x818C, nullptr, "Protocol Engines"},
    {0x818D, 0x818D, nullptr, "Motorola Computer"},
    {0x819A, 0x81A3, nullptr, "Qualcomm"},
    {0x81A4, 0x81A4, nullptr, "ARAI Bunkichi"},
    {0x81A5, 0x81AE, nullptr, "RAD Network Devices"},
    {0x81B7, 0x81B9, nullptr, "Xyplex"},
    {0x81CC, 0x81D5, nullptr, "Apricot Computers"},
    {0x81D6, 0x81DD, nullptr, "Artisoft"},
    {0x81E6, 0x81EF, nullptr, "Polygon"},
    {0x81F0, 0x81F2, nullptr, "Comsat Labs"},
    {0x81F3, 0x81F5, nullptr, "SAIC"},
    {0x81F6, 0x81F8, nullptr, "VG Analytical"},
    {0x8203, 0x8205, nullptr, "Quantum Software"},
    {0x8221, 0x8222, nullptr, "Ascom Banking Systems"},
    {0x823E, 0x8240, nullptr, "Advanced Encryption Syste"},
    {0x8263, 0x826A, nullptr, "Charles River Data System"},
    {0x827F, 0x8282, nullptr, "Athena Programming"},
    {0x829A, 0x829B, nullptr, "Inst Ind Info Tech"},
    {0x829C, 0x82AB, nullptr, "Taurus Controls"},
    {0x82AC, 0x8693, nullptr, "Walker Richer & Quinn"},
    {0x8694, 0x869D, nullptr, "Idea Courier"},
    {0x869E, 0x86A1, nullptr, "Computer Network Tech"},
    {0x86A3, 0x86AC, nullptr, "Gateway Communications"},
    {0x86DB, 0x86DB, nullptr, "SECTRA"},
    {0x86DD, 0x86DD, nullptr, "IP Version 6"},
    {0x86DE, 0x86DE, nullptr, "Delta Controls"},
    {0x86DF, 0x86DF, nullptr, "ATOMIC"},
    {0x86E0, 0x86EF, nullptr, "Landis & Gyr Powers"},
    {0x8700, 0x8710, nullptr, "Motorola"},
    {0x8808, 0x8808, nullptr, "IEEE 802.3 MAC Control"},
    {0x8847, 0x8847, nullptr, "MPLS Unicast"},
    {0x8848, 0x8848, nullptr, "MPLS Multicast"},
    {0x8863, 0x8863, nullptr, "PPPoE Discovery Stage"},
    {0x8864, 0x8864, nullptr, "PPPoE Session Stage"},
    {0x888E, 0x888E, nullptr, "IEEE 802.1X Port Access"},
    {0x8A96, 0x8A97, nullptr, "Invisible Software"},
    {0x9000, 0x9000, nullptr, "Loopback"},
    {0x9001, 0x9001, nullptr, "3Com(Bridge) XNS Sys Mgmt"},
    {0x9002, 0x9002, nullptr, "3Com(Bridge) TCP-IP Sys"},
    {0x9003, 0x9003, nullptr, "3Com(Bridge) loop detect"},
    {0xFF00, 0xFF00, nullptr, "BBN VITAL-LanBridge cache"},
    {0xFF01, 0xFF0F, nullptr, "ISC Bunker Ramo"},
    {0xFFFF, 0xFFFF, nullptr, "Reserved [RFC1701]"},
};

const reg_row_t arp_rows[] = {
    {0, 0, nullptr, "Invalid (0)"},
    {1, 1, nullptr, "Request [RFC826]"},
    {2, 2, nullptr, "Reply [RFC826]"},
    {3, 3, nullptr, "Request Reverse (RARP) [RFC903]"},
    {4, 4, nullptr, "Reply Reverse (RARP) [RFC903]"},
    {5, 5, nullptr, "DRARP-Request [RFC1931]"},
    {6, 6, nullptr, "DRARP-Reply [RFC1931]"},
    {7, 7, nullptr, "DRARP-Error [RFC1931]"},
    {8, 8, nullptr, "InARP-Request [RFC1293]"},
    {9, 9, nullptr, "InARP-Reply [RFC1293]"},
    {10, 10, nullptr, "ARP-NAK [RFC1577]"},
    {11, 11, nullptr, "MARS-Request"},
    {12, 12, nullptr, "MARS-Multi"},
    {13, 13, nullptr, "MARS-MServ"},
    {14, 14, nullptr, "MARS-Join"},
    {15, 15, nullptr, "MARS-Leave"},
    {16, 16, nullptr, "MARS-NAK"},
    {17, 17, nullptr, "MARS-Unserv"},
    {18, 18, nullptr, "MARS-SJoin"},
    {19, 19, nullptr, "MARS-SLeave"},
    {20, 20, nullptr, "MARS-Grouplist-Request"},
    {21, 21, nullptr, "MARS-Grouplist-Reply"},
    {22, 22, nullptr, "MARS-Redirect-Map"},
    {23, 23, nullptr, "MAPOS-UNARP [RFC2176]"},
    {0x18, 0xFFFF, nullptr, "Undefined"},
};

const reg_row_t ip_rows[] = {
    {0, 0, nullptr, "Reserved"},
    {1, 1, &proto_icmp, "ICMP Internet Control Message [RFC792]"},
    {2, 2, nullptr, "IGMP Internet Group Management [RFC1112]"},
    {3, 3, nullptr, "GGP Gateway-to-Gateway [RFC823]"},
    {4, 4, nullptr, "IP in IP (encasulation)"},
    {5, 5, nullptr, "ST Stream [RFC1190]"},
    {6, 6, &proto_tcp, "TCP (Transmission Control) [RFC793]"},
    {7, 7, nullptr, "UCL UCL"},
    {8, 8, nullptr, "EGP Exterior Gateway Protocol [RFC888]"},
    {9, 9, nullptr, "IGP any private interior gateway"},
    {10, 10, nullptr, "BBN-RCC-MON BBN RCC Monitoring"},
    {11, 11, nullptr, "NVP-II Network Voice Protocol [RFC741]"},
    {12, 12, nullptr, "PUP PUP"},
    {13, 13, nullptr, "ARGUS ARGUS"},
    {14, 14, nullptr, "EMCON EMCON"},
    {15, 15, nullptr, "XNET Cross Net Debugger"},
    {16, 16, nullptr, "CHAOS Chaos"},
    {17, 17, nullptr, "UDP User Datagram [RFC768]"},
    {18, 18, nullptr, "MUX Multiplexing"},
    {19, 19, nullptr, "DCN-MEAS DCN Measurement Subsystems"},
    {20, 20, nullptr, "HMP Host Monitoring [RFC869]"},
    {21, 21, nullptr, "PRM Packet Radio Measurement"},
    {22, 22, nullptr, "XNS-IDP XEROX NS IDP"},
    {23, 23, nullptr, "TRUNK-1 Trunk-1"},
    {24, 24, nullptr, "TRUNK-2 Trunk-2"},
    {25, 25, nullptr, "LEAF-1 Leaf-1"},
    {26, 26, nullptr, "LEAF-2 Leaf-2"},
    {27, 27, nullptr, "RDP Reliable Data Protocol [RFC908]"},
    {28, 28, nullptr, "IRTP Internet Reliable Transaction [RFC938]"},
    {29, 29, nullptr, "ISO-TP4 ISO Transport Protocol Class 4 [RFC905]"},
    {30, 30, nullptr, "NETBLT Bulk Data Transfer Protocol [RFC969]"},
    {31, 31, nullptr, "MFE-NSP MFE Network Services Protocol"},
    {32, 32, nullptr, "MERIT-INP MERIT Internodal Protocol"},
    {33, 33, nullptr, "SEP Sequential Exchange Protocol"},
    {34, 34, nullptr, "3PC Third Party Connect Protocol"},
    {35, 35, nullptr, "IDPR Inter-Domain Policy Routing Protocol"},
    {36, 36, nullptr, "XTP XTP"},
    {37, 37, nullptr, "DDP Datagram Delivery Protocol"},
    {38, 38, nullptr, "IDPR-CMTP IDPR Control Message Transport Proto"},
    {39, 39, nullptr, "TP++ TP++ Transport Protocol"},
    {40, 40, nullptr, "IL IL Transport Protocol"},
    {41, 41, nullptr, "SIP Simple Internet Protocol"},
    {42, 42, nullptr, "SDRP Source Demand Routing Protocol"},
    {43, 43, nullptr, "SIP-SR SIP Source Route"},
    {44, 44, nullptr, "SIP-FRAG SIP Fragment"},
    {45, 45, nullptr, "IDRP Inter-Domain Routing Protocol"},
    {46, 46, nullptr, "RSVP Reservation Protocol"},
    {47, 47, nullptr, "GRE General Routing Encapsulation"},
    {48, 48, nullptr, "MHRP Mobile Host Routing Protocol"},
    {49, 49, nullptr, "BNA BNA"},
    {50, 50, nullptr, "SIPP-ESP SIPP Encap Security Payload"},
    {51, 51, nullptr, "SIPP-AH SIPP Authentication Header"},
    {52, 52, nullptr, "I-NLSP Integrated Net Layer Security TUBA"},
    {53, 53, nullptr, "SWIPE IP with Encryption"},
    {0x36, 0x36, &proto_arp, "NHRP NBMA Next Hop Resolution Protocol"},
    {55, 60, nullptr, "Unassigned"},
    {61, 61, nullptr, "any host internal protocol"},
    {62, 62, nullptr, "CFTP CFTP"},
    {63, 63, nullptr, "any local network"},
    {64, 64, nullptr, "SAT-EXPAK SATNET and Backroom EXPAK"},
    {65, 65, nullptr, "KRYPTOLAN Kryptolan"},
    {66, 66, nullptr, "RVD MIT Remote Virtual Disk Protocol"},
    {67, 67, nullptr, "IPPC Internet Pluribus Packet Core"},
    {68, 68, nullptr, "any distributed file system"},
    {69, 69, nullptr, "SAT-MON SATNET Monitoring"},
    {70, 70, nullptr, "VISA VISA Protocol"},
    {71, 71, nullptr, "IPCV Internet Packet Core Utility"},
    {72, 72, nullptr, "CPNX Computer Protocol Network Executive"},
    {73, 73, nullptr, "CPHB Computer Protocol Heart Beat"},
    {74, 74, nullptr, "WSN Wang Span Network"},
    {75, 75, nullptr, "PVP Packet Video Protocol"},
    {76, 76, nullptr, "BR-SAT-MON Backroom SATNET Monitoring"},
    {77, 77, nullptr, "SUN-ND SUN ND PROTOCOL-Temporary"},
    {78, 78, nullptr, "WB-MON WIDEBAND Monitoring"},
    {79, 79, nullptr, "WB-EXPAK WIDEBAND EXPAK"},
    {80, 80, nullptr, "ISO-IP ISO Internet Protocol"},
    {81, 81, nullptr, "VMTP VMTP"},
    {82, 82, nullptr, "SECURE-VMTP SECURE-VMTP"},
    {83, 83, nullptr, "VINES VINES"},
    {84, 84, nullptr, "TTP TTP"},
    {85, 85, nullptr, "NSFNET-IGP NSFNET-IGP"},
    {86, 86, nullptr, "DGP Dissimilar Gateway Protocol"},
    {87, 87, nullptr, "TCF TCF"},
    {88, 88, nullptr, "IGRP IGRP"},
    {89, 89, nullptr, "OSPFIGP OSPFIGP [RFC1583]"},
    {90, 90, nullptr, "Sprite-RPC Sprite RPC Protocol"},
    {91, 91, nullptr, "LARP Locus Address Resolution Protocol"},
    {92, 92, nullptr, "MTP Multicast Transport Protocol"},
    {93, 93, nullptr, "AX.25 AX.25 Frames"},
    {94, 94, nullptr, "IPIP IP-within-IP Encapsulation Protocol"},
    {95, 95, nullptr, "MICP Mobile Internetworking Control Pro."},
    {96, 96, nullptr, "SCC-SP Semaphore Communications Sec. Pro."},
    {97, 97, nullptr, "ETHERIP Ethernet-within-IP Encapsulation"},
    {98, 98, nullptr, "ENCAP Encapsulation Header [RFC1241]"},
    {99, 99, nullptr, "any private encryption scheme"},
    {100, 100, nullptr, "GMTP GMTP"},
    {101, 101, nullptr, "IFMP Ipsilon Flow Management Protocol"},
    {102, 102, nullptr, "PNNI PNNI over IP"},
    {103, 103, nullptr, "PIM Protocol Independent Multicast"},
    {104, 104, nullptr, "ARIS ARIS"},
    {105, 105, nullptr, "SCPS SCPS"},
    {106, 106, nullptr, "QNX QNX"},
    {107, 107, nullptr, "A/N Active Networks"},
    {108, 108, nullptr, "IPPCP IP Payload Compression Protocol"},
    {109, 109, nullptr, "SNP Sitara Networks Protocol"},
    {110, 110, nullptr, "Compaq-Peer Compaq Peer Protocol"},
    {111, 111, nullptr, "IPX-in-IP IPX in IP"},
    {112, 112, nullptr, "VRRP Virtual Router Redundancy Protocol"},
    {113, 113, nullptr, "PGM PGM Reliable Transport Protocol"},
    {114, 114, nullptr, "any 0-hop protocol"},
    {115, 115, nullptr, "L2TP Layer Two Tunneling Protocol"},
    {116, 254, nullptr, "Unassigned"},
    {255, 255, nullptr, "Reserved"},
};

const reg_row_t icmp_rows[] = {
    {0, 0, &proto_generic, "Echo Reply [RFC792]"},
    {1, 2, &proto_generic, "Unassigned"},
    {3, 3, &proto_icmp3, "Destination Unreachable [RFC792]"},
    {4, 4, &proto_generic, "Source Quench [RFC792]"},
    {5, 5, &proto_icmp5, "Redirect [RFC792]"},
    {6, 6, &proto_generic, "Alternate Host Address"},
    {7, 7, &proto_generic, "Unassigned"},
    {8, 8, &proto_generic, "Echo [RFC792]"},
    {9, 9, &proto_generic, "Router Advertisement [RFC1256]"},
    {10, 10, &proto_generic, "Router Selection [RFC1256]"},
    {11, 11, &proto_icmp11, "Time Exceeded [RFC792]"},
    {12, 12, &proto_icmp12, "Parameter Problem [RFC792]"},
    {13, 13, &proto_generic, "Timestamp [RFC792]"},
    {14, 14, &proto_generic, "Timestamp Reply [RFC792]"},
    {15, 15, &proto_generic, "Information Request [RFC792]"},
    {16, 16, &proto_generic, "Information Reply [RFC792]"},
    {17, 17, &proto_generic, "Address Mask Request [RFC950]"},
    {18, 18, &proto_generic, "Address Mask Reply [RFC950]"},
    {19, 19, &proto_generic, "Reserved (for Security)"},
    {20, 29, &proto_generic, "Reserved (for Robustness Experiment)"},
    {30, 30, &proto_generic, "Traceroute [RFC1393]"},
    {31, 31, &proto_generic, "Datagram Conversion Error [RFC1475]"},
    {32, 32, &proto_generic, "Mobile Host Redirect"},
    {33, 33, &proto_generic, "IPv6 Where-Are-You"},
    {34, 34, &proto_generic, "IPv6 I-Am-Here"},
    {35, 35, &proto_generic, "Mobile Registration Request"},
    {36, 36, &proto_generic, "Mobile Registration Reply"},
    {37, 37, &proto_generic, "Domain Name Request"},
    {38, 38, &proto_generic, "Domain Name Reply"},
    {39, 39, &proto_generic, "SKIP"},
    {40, 40, &proto_generic, "Photuris"},
    {41, 255, &proto_generic, "Reserved"},
};

const reg_row_t icmp3_rows[] = {
    {0, 0, nullptr, "Net Unreachable"},
    {1, 1, nullptr, "Host Unreachable"},
    {2, 2, nullptr, "Protocol Unreachable"},
    {3, 3, nullptr, "Port Unreachable"},
    {4, 4, nullptr, "Fragmentation Needed and Don't Fragment was Set"},
    {5, 5, nullptr, "Source Route Failed"},
    {6, 6, nullptr, "Destination Network Unknown"},
    {7, 7, nullptr, "Destination Host Unknown"},
    {8, 8, nullptr, "Source Host Isolated"},
    {9, 9, nullptr, "Communication with Destination Network is Administratively Prohibited"},
    {10, 10, nullptr, "Communication with Destination Host is Administratively Prohibited"},
    {11, 11, nullptr, "Destination Network Unreachable for Type of Service"},
    {12, 12, nullptr, "Destination Host Unreachable for Type of Service"},
    {13, 13, nullptr, "Communication Administratively Prohibited [RFC1812]"},
    {14, 14, nullptr, "Host Precedence Violation [RFC1812]"},
    {15, 15, nullptr, "Precedence cutoff in effect [RFC1812]"},
    {16, 255, nullptr, "*Invalid*"},
};

const reg_row_t icmp5_rows[] = {
    {0, 0, nullptr, "Redirect Datagram for the Network (or subnet)"},
    {1, 1, nullptr, "Redirect Datagram for the Host"},
    {2, 2, nullptr, "Redirect Datagram for the Type of Service and Network"},
    {3, 3, nullptr, "Redirect Datagram for the Type of Service and Host"},
    {4, 255, nullptr, "*Invalid*"},
};

const reg_row_t icmp11_rows[] = {
    {0, 0, nullptr, "Time to Live exceeded in Transit"},
    {1, 1, nullptr, "Fragment Reassembly Time Exceeded"},
    {2, 255, nullptr, "*Invalid*"},
};

const reg_row_t icmp12_rows[] = {
    {0, 0, nullptr, "Pointer indicates the error"},
    {1, 1, nullptr, "Missing a Required Option [RFC1108]"},
    {2, 2, nullptr, "Bad Length"},
    {3, 255, nullptr, "*Invalid*"},
};

const proto_t proto_ether = {"Ethernet", ether_decode, ether_compare, ether_header_length,
                             ROWS(ether_rows)};
const proto_t proto_arp = {"ARP", arp_decode, arp_compare, arp_header_length, ROWS(arp_rows)};
const proto_t proto_ip = {"IP", ip_decode, ip_compare, ip_header_length, ROWS(ip_rows)};
const proto_t proto_icmp = {"ICMP", icmp_type_decode, icmp_type_compare, icmp_type_header_length,
                            ROWS(icmp_rows)};
const proto_t proto_icmp3 = {"Type 3", icmp_code_decode, icmp_code_compare, icmp_header_length,
                             ROWS(icmp3_rows)};
const proto_t proto_icmp5 = {"Type 5", icmp_code_decode, icmp_code_compare, icmp_header_length,
                             ROWS(icmp5_rows)};
const proto_t proto_icmp11 = {"Type 11", icmp_code_decode, icmp_code_compare, icmp_header_length,
                              ROWS(icmp11_rows)};
const proto_t proto_icmp12 = {"Type 12", icmp_code_decode, icmp_code_compare, icmp_header_length,
                              ROWS(icmp12_rows)};
const proto_t proto_generic = {"Generic", icmp_generic_decode, nullptr, icmp_header_length, nullptr,
                               0};
const proto_t proto_tcp = {"TCP", tcp_decode, nullptr, tcp_header_length, nullptr, 0};

const reg_row_t *lookup(const proto_t *p, const layer_t &l) {
    int lo = 0, hi = p->row_count - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = p->compare(l, p->rows[mid]);
        if (c == 0) return &p->rows[mid];
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return nullptr;
}

void decode_chain(Text *t, const char *prefix, const proto_t *p, const uint8_t *data, int length) {
    const reg_row_t *parent = nullptr;
    while (p != nullptr) {
        if (p->name != nullptr) t->add("\n%s  %s: ", prefix, p->name);
        layer_t l{data, length, nullptr, parent};
        if (p->compare != nullptr && length > 0) l.row = lookup(p, l);
        if (!p->decode(t, l)) return;
        if (p->compare == nullptr) return;  // the last layer we know
        if (l.row == nullptr) {
            t->add(": ");
            t->dump(data, length, kUnknownDump);
            return;
        }
        int skip = p->header_length(l);
        if (skip > length) skip = length;
        data += skip;
        length -= skip;
        parent = l.row;
        p = l.row->next;
    }
}

}  // namespace

int pkt_decode_print(const char *prefix, int type, const uint8_t *data, int length) {
    const proto_t *first = nullptr;
    switch (type) {
        case PKT_DECODE_ETHER:
        case PKT_DECODE_ETHER2:
            first = &proto_ether;
            break;
        case PKT_DECODE_IP:
            first = &proto_ip;
            break;
        case PKT_DECODE_TCP:
            first = &proto_tcp;
            break;
        case PKT_DECODE_ARP:
            first = &proto_arp;
            break;
        default:
            break;
    }
    auto *buf = static_cast<char *>(sal_alloc(kTextSize, "pkt decode"));
    if (buf == nullptr) return -1;
    if (prefix == nullptr) prefix = "";
    Text t{buf, kTextSize, 0};
    t.add("%s", prefix);
    int rv = 0;
    if (first == nullptr) {
        t.add("****** Invalid type ******");
        rv = -1;
    } else {
        decode_chain(&t, prefix, first, data, data != nullptr && length > 0 ? length : 0);
        sal_printf("%s\n", buf);
    }
    sal_free(buf);
    return rv;
}

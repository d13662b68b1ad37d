// The aligned-PER decoder on hand-built encodings: lengths, extensible
// choices and sequences, open types, bounded lists, the stop attribute, and
// data that ends early.
#include "../src/voip_per.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "h323_encode.h"

namespace {

using h323_test::Bytes;
using h323_test::Per;

struct Out {
    uint32_t index;
    uint32_t where;  // offset of a 4-byte string
    uint32_t count;
    uint32_t items[2];
    uint32_t flag;
};

constexpr uint16_t kDec = PER_DECODE;

per_field octets4(uint16_t offset) {
    return per_make(PER_OCTET_STRING, PER_FIXED, 4, 0, kDec, offset);
}

int decode(const per_field &type, const Bytes &b, Out *out) {
    *out = {};
    return per_decode(&type, b.data(), b.size(), out);
}

TEST(voip_per, LengthDeterminantTakesOneOrTwoBytesAndRefusesFragments) {
    const per_field fields[] = {
        per_make(PER_OCTET_STRING, PER_UNCONSTRAINED, 0, 0, 0),
        octets4(offsetof(Out, where)),
    };
    const per_field seq = per_make(PER_SEQUENCE, 0, 2, 0, 0, 0, fields);
    Out out;
    Bytes b = {0x81, 0x00};
    b.resize(2 + 256, 0xee);
    b.insert(b.end(), {10, 0, 0, 1});
    ASSERT_EQ(decode(seq, b, &out), 0);
    EXPECT_EQ(out.where, 258u);  // 0x81 0x00 is 256

    Bytes shortform = {3, 1, 2, 3, 10, 0, 0, 1};
    ASSERT_EQ(decode(seq, shortform, &out), 0);
    EXPECT_EQ(out.where, 4u);

    b[0] = 0xC1;  // a fragment of 16K units
    EXPECT_EQ(decode(seq, b, &out), -1);
    b[0] = 0x81;
    b[1] = 0x01;  // 257: one byte beyond, and the string that follows is cut
    EXPECT_EQ(decode(seq, b, &out), -1);
    EXPECT_EQ(out.where, 0u);
    EXPECT_EQ(decode(seq, {0x81}, &out), -1);
}

TEST(voip_per, ChoiceDecodesRootAndKnownExtensionsAndStepsOverOthers) {
    const per_field alts[] = {
        per_make(PER_BOOLEAN, 0, 0, 0, kDec, offsetof(Out, flag)), per_make(PER_NULL, 0, 0, 0, 0),
        octets4(offsetof(Out, where)),  // the first extension
    };
    const per_field fields[] = {
        per_make(PER_CHOICE, 1, 3, 2, PER_EXTENSIBLE | kDec, offsetof(Out, index), alts),
        per_make(PER_INTEGER, PER_ONE_BYTE, 0, 0, kDec, offsetof(Out, count)),
    };
    const per_field seq = per_make(PER_SEQUENCE, 0, 2, 0, 0, 0, fields);
    Out out;
    // Root alternative 0 with its BOOLEAN, then the integer.
    ASSERT_EQ(decode(seq, Per().bits(0, 1).bits(0, 1).bits(1, 1).u8(42).data(), &out), 0);
    EXPECT_EQ(out.index, 0u);
    EXPECT_EQ(out.flag, 1u);
    EXPECT_EQ(out.count, 42u);

    // Extension 0 is alternative 2: decoded inside its open type.
    Per ext;
    ext.bytes({10, 0, 0, 7});
    ASSERT_EQ(decode(seq, Per().bits(1, 1).bits(0, 7).open(ext).u8(43).data(), &out), 0);
    EXPECT_EQ(out.index, 2u);
    EXPECT_EQ(out.where, 2u);
    EXPECT_EQ(out.count, 43u);

    // An unknown extension is stepped over by its length.
    Per unknown;
    unknown.bytes({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(decode(seq, Per().bits(1, 1).bits(5, 7).open(unknown).u8(44).data(), &out), 0);
    EXPECT_EQ(out.index, 7u);
    EXPECT_EQ(out.where, 0u);
    EXPECT_EQ(out.count, 44u);

    // Root alternative 1 is a NULL. A root index beyond the root
    // alternatives, a large extension index and an open type longer than the
    // data are refused.
    EXPECT_EQ(decode(seq, Per().bits(0, 1).bits(1, 1).u8(1).data(), &out), 0);
    const per_field three = per_make(PER_CHOICE, 2, 3, 2, PER_EXTENSIBLE, 0, alts);
    EXPECT_EQ(decode(three, Per().bits(0, 1).bits(3, 2).data(), &out), -1);
    EXPECT_EQ(decode(seq, Per().bits(1, 1).bits(0x40, 7).u8(0).data(), &out), -1);
    EXPECT_EQ(decode(seq, Per().bits(1, 1).bits(0, 7).u8(9).u8(1).data(), &out), -1);
}

TEST(voip_per, SequenceOfKeepsAtMostItsUpperBound) {
    const per_field element = per_make(PER_INTEGER, PER_ONE_BYTE, 0, 0, kDec, sizeof(uint32_t));
    const per_field fields[] = {
        per_make(PER_SEQUENCE_OF, PER_UNCONSTRAINED, 0, 2, kDec, offsetof(Out, count), &element),
        per_make(PER_BOOLEAN, 0, 0, 0, kDec, offsetof(Out, flag)),
    };
    const per_field seq = per_make(PER_SEQUENCE, 0, 2, 0, 0, 0, fields);
    Out out;
    ASSERT_EQ(decode(seq, Bytes{5, 11, 12, 13, 14, 15, 0x80}, &out), 0);
    EXPECT_EQ(out.count, 2u);
    EXPECT_EQ(out.items[0], 11u);
    EXPECT_EQ(out.items[1], 12u);
    EXPECT_EQ(out.flag, 1u);  // the elements beyond the bound were walked

    ASSERT_EQ(decode(seq, Bytes{1, 21, 0x80}, &out), 0);
    EXPECT_EQ(out.count, 1u);
    EXPECT_EQ(out.items[1], 0u);
    EXPECT_EQ(decode(seq, Bytes{5, 11, 12}, &out), -1);

    // A count of one byte plus a lower bound, and a bit-width count.
    const per_field bounded =
        per_make(PER_SEQUENCE_OF, 3, 1, 2, kDec, offsetof(Out, count), &element);
    ASSERT_EQ(decode(bounded, Per().bits(0, 3).u8(9).data(), &out), 0);
    EXPECT_EQ(out.count, 1u);
    EXPECT_EQ(out.items[0], 9u);
}

TEST(voip_per, ExtensionsAreOpenTypesAndStopEndsOnlyTheOpenType) {
    const per_field inner_fields[] = {
        octets4(offsetof(Out, where)),
        per_make(PER_NULL, 0, 0, 0, PER_STOP),
    };
    const per_field fields[] = {
        per_make(PER_BOOLEAN, 0, 0, 0, PER_OPTIONAL | kDec, offsetof(Out, index)),
        per_make(PER_NULL, 0, 0, 0, 0),
        per_make(PER_SEQUENCE, 0, 2, 0, kDec, 0, inner_fields),
        per_make(PER_INTEGER, PER_TWO_BYTES, 0, 0, kDec, offsetof(Out, count)),
    };
    // Root: an optional BOOLEAN; extensions: an unwanted one, a sequence
    // that stops after its string, and an integer.
    const per_field seq = per_make(PER_SEQUENCE, 1, 1, 3, PER_EXTENSIBLE, 0, fields);
    Per first, second, third, fourth;
    first.bytes({0xff, 0xff});
    second.bytes({192, 168, 1, 2, 0xff});
    third.u16(0x1234);
    fourth.bytes({1});
    Per p;
    p.bits(1, 1).bits(0, 1);  // the BOOLEAN is absent
    p.extensions({true, true, true, true}).open(first).open(second).open(third).open(fourth);
    Out out;
    ASSERT_EQ(decode(seq, p.data(), &out), 0);
    EXPECT_EQ(out.index, 0u);
    EXPECT_EQ(p.data()[out.where], 192);
    EXPECT_EQ(out.count, 0x1234u);

    // Without the decode attribute an open type is stepped over.
    per_field skipped[4] = {fields[0], fields[1], fields[2], fields[3]};
    skipped[2].attr = 0;
    per_field quiet = seq;
    quiet.fields = skipped;
    ASSERT_EQ(decode(quiet, p.data(), &out), 0);
    EXPECT_EQ(out.where, 0u);
    EXPECT_EQ(out.count, 0x1234u);

    // Cut anywhere, the walk refuses or stops without reading past the end.
    for (size_t n = 0; n < p.data().size(); n++) {
        Bytes cut(p.data().begin(), p.data().begin() + static_cast<long>(n));
        decode(seq, cut, &out);
        if (out.where != 0) {
            EXPECT_LE(out.where + 4, n);
        }
    }
}

TEST(voip_per, StopEndsTheWalkAndOtherTypesAreStepped) {
    const per_field fields[] = {
        per_make(PER_OBJECT_ID, 0, 0, 0, 0),
        per_make(PER_NUMERIC_STRING, 7, 1, 0, 0),
        per_make(PER_BMP_STRING, PER_ONE_BYTE, 1, 0, 0),
        per_make(PER_ENUMERATED, 2, 0, 0, PER_EXTENSIBLE | kDec, offsetof(Out, flag)),
        per_make(PER_BIT_STRING, PER_FIXED, 32, 0, 0),
        per_make(PER_INTEGER, PER_CONSTRAINED, 0, 0, kDec, offsetof(Out, count)),
        per_make(PER_NULL, 0, 0, 0, PER_STOP),
        per_make(PER_INTEGER, PER_ONE_BYTE, 0, 0, kDec, offsetof(Out, index)),
    };
    const per_field seq = per_make(PER_SEQUENCE, 0, 8, 0, 0, 0, fields);
    Per p;
    p.bytes({2, 0x2a, 0x03});          // OID
    p.bits(2, 7).bytes({0x12, 0x30});  // three digits
    p.u8(1).bytes({0, 'a', 0, 'b'});   // two characters
    p.bits(0, 1).bits(2, 2);           // enumerated 2
    p.bytes({1, 2, 3, 4});             // 32 bits
    p.bits(1, 2).bytes({0x01, 0x00});  // a 2-byte integer: 256
    p.u8(99);                          // after the stop: not read
    Out out;
    ASSERT_EQ(decode(seq, p.data(), &out), 0);
    EXPECT_EQ(out.flag, 2u);
    EXPECT_EQ(out.count, 256u);
    EXPECT_EQ(out.index, 0u);
    Bytes cut = p.data();
    cut.resize(cut.size() - 4);
    EXPECT_EQ(decode(seq, cut, &out), -1);
}

}  // namespace

// NEC card decks: uniform division by the cards' segment counts, numbering
// within tags, the split of port segments and the placement by tag and
// segment number.
#include <gtest/gtest.h>

#include "mesh_fixtures.h"

namespace {

// A 5-segment tag fed on segment 3: that segment becomes two halves, both
// numbered 3, and the source sits on the node between them.
TEST(NecSegmentation, PortSegmentIsSplit) {
    Model m = nec_model();
    add_w(m, 0, 0, -2.5, 0, 0, 2.5, 0.001, 5, 1);
    add_nec_src(m, 1, 3);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.nseg(), 6);
    const int nums[6] = {1, 2, 3, 3, 4, 5};
    const double lens[6] = {1, 1, 0.5, 0.5, 1, 1};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(mesh.seg[static_cast<size_t>(i)].num, nums[i]);
        EXPECT_NEAR(mesh.seg[static_cast<size_t>(i)].len, lens[i], 1e-12);
        EXPECT_EQ(mesh.seg[static_cast<size_t>(i)].tag, 1);
    }
    ASSERT_EQ(m.srcs[0].unk, 2); // the unknown at the node between the halves
    const Unknown& u = mesh.unk[2];
    EXPECT_EQ(u.ref[0].seg, 2);
    EXPECT_EQ(u.ref[1].seg, 3);
    EXPECT_NEAR(mesh.node[static_cast<size_t>(u.node)].pos[2], 0.0, 1e-15);
}

// Numbers count within a tag across wires (two GW cards with one tag), and
// tag 0 counts over the whole structure with split halves counting once.
TEST(NecSegmentation, NumberingAndTagZero) {
    Model m = nec_model();
    add_w(m, 0, 0, 1, 1, 0, 1, 0.001, 2, 7); // tag 7: segments 1, 2
    add_w(m, 1, 0, 1, 2, 0, 1, 0.001, 3, 9); // tag 9: segments 1..3
    add_w(m, 2, 0, 1, 3, 0, 1, 0.001, 2, 7); // tag 7 again: segments 3, 4
    add_nec_src(m, 7, 4);                    // the last segment of the structure
    add_nec_src(m, 0, 3);                    // tag 0: third segment overall (tag 9, 1)
    Load& l = add_load(m);                   // tag 0, seventh overall (tag 7 #4)
    l.tag = 0;
    l.seg1 = 7;
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    // 7 segments, two of them split.
    ASSERT_EQ(mesh.nseg(), 9);
    const int tags[9] = {7, 7, 9, 9, 9, 9, 7, 7, 7};
    const int nums[9] = {1, 2, 1, 1, 2, 3, 3, 4, 4};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(mesh.seg[static_cast<size_t>(i)].tag, tags[i]) << i;
        EXPECT_EQ(mesh.seg[static_cast<size_t>(i)].num, nums[i]) << i;
    }
    auto node_x = [&](int unk) {
        return mesh.node[static_cast<size_t>(mesh.unk[static_cast<size_t>(unk)].node)].pos[0];
    };
    EXPECT_NEAR(node_x(m.srcs[0].unk), 2.75, 1e-12);
    EXPECT_NEAR(node_x(m.srcs[1].unk), 1 + 1.0 / 6, 1e-12);
    EXPECT_EQ(m.loads[0].unk, m.srcs[0].unk);
}

// Which NEC loads are ports: series, parallel and impedance loads on one
// segment. Distributed loads and loads over a range keep -1 and split
// nothing.
TEST(NecSegmentation, OnlySingleSegmentLumpedLoadsArePorts) {
    struct Case {
        int type, seg1, seg2;
        bool port;
    };
    const Case cases[] = {
        {LOAD_SERIES, 2, 0, true},          {LOAD_PARALLEL, 2, 2, true},
        {LOAD_IMPEDANCE, 2, 0, true},       {LOAD_SERIES, 2, 3, false},
        {LOAD_SERIES_PER_LEN, 2, 2, false}, {LOAD_CONDUCTIVITY, 0, 0, false},
        {LOAD_SERIES, 0, 0, false},
    };
    for (const Case& c : cases) {
        Model m = nec_model();
        add_w(m, 0, 0, 0, 0, 0, 4, 0.001, 4, 1);
        add_nec_src(m, 1, 1);
        Load& l = add_load(m);
        l.type = c.type;
        l.tag = 1;
        l.seg1 = c.seg1;
        l.seg2 = c.seg2;
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "") << c.type;
        EXPECT_EQ(mesh.nseg(), c.port ? 6 : 5) << c.type << " " << c.seg1 << " " << c.seg2;
        EXPECT_EQ(m.loads[0].unk >= 0, c.port) << c.type << " " << c.seg1 << " " << c.seg2;
    }
}

TEST(NecSegmentation, MissingSegmentsAreReported) {
    struct Case {
        const char* what;
        const char* message;
    };
    const Case cases[] = {
        {"source", "EX: segment 5 of tag 1 not found"},
        {"source_tag0", "EX: segment 9 of tag 0 not found"},
        {"line", "TL: segment not found"},
        {"load", "segment 6 of tag 1 not found"},
        {"load_tag", "segment 1 of tag 3 not found"},
    };
    for (const Case& c : cases) {
        Model m = nec_model();
        add_w(m, 0, 0, 1, 0, 0, 5, 0.001, 4, 1);
        add_w(m, 1, 0, 1, 1, 0, 5, 0.001, 4, 2);
        std::string w = c.what;
        if (w == "source")
            add_nec_src(m, 1, 5);
        else if (w == "source_tag0")
            add_nec_src(m, 0, 9);
        else
            add_nec_src(m, 1, 2);
        if (w == "line") {
            TLine& t = add_tl(m);
            t.tag1 = 1;
            t.seg1 = 2;
            t.tag2 = 2;
            t.seg2 = 7;
        }
        if (w == "load" || w == "load_tag") {
            Load& l = add_load(m);
            l.tag = w == "load" ? 1 : 3;
            l.seg1 = w == "load" ? 6 : 1;
        }
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), c.message) << c.what;
    }
}

// Transmission-line ends on two tags: each end splits its segment and binds
// to the unknown in the middle.
TEST(NecSegmentation, LineEndsBind) {
    Model m = nec_model();
    add_w(m, 0, 0, 1, 0, 0, 5, 0.001, 3, 1);
    add_w(m, 1, 0, 1, 1, 0, 5, 0.001, 3, 2);
    add_nec_src(m, 1, 2);
    TLine& t = add_tl(m);
    t.tag1 = 1;
    t.seg1 = 2; // the source's segment: split once
    t.tag2 = 2;
    t.seg2 = 2;
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.nseg(), 8);
    EXPECT_EQ(m.tls[0].unk1, m.srcs[0].unk);
    ASSERT_GE(m.tls[0].unk2, 0);
    const Unknown& u = mesh.unk[static_cast<size_t>(m.tls[0].unk2)];
    const double* p = mesh.node[static_cast<size_t>(u.node)].pos;
    EXPECT_NEAR(p[0], 1.0, 1e-12);
    EXPECT_NEAR(p[2], 3.0, 1e-12);
}

// A wire card with no segment count still gives one segment; NEC decks
// have no automatic junctions even where an end touches a wire's middle.
TEST(NecSegmentation, NoAutomaticJunctions) {
    Model m = nec_model();
    add_w(m, -1, 0, 1, 1, 0, 1, 0.001, 4, 1);
    add_w(m, 0.25, 0, 0, 0.25, 0, 1, 0.001, 0, 2); // ends on the middle of segment 3 of tag 1
    add_nec_src(m, 1, 2);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.nseg(), 4 + 1 + 1);
    for (const std::string& w : mesh.warnings)
        EXPECT_EQ(w.find("automatic junction"), std::string::npos) << w;
}

// A port segment split into halves shorter than four radii is named in one
// warning (NEC-2 itself keeps the segment whole); several such segments
// give one line with their number and the shortest. Segments of 1 m,
// radius r: halves of 0.5 / r metres.
struct SplitCase {
    double radius;
    int nsrc;            // sources on segments 2 and 4
    const char* warning; // "" = no such warning
};

TEST(NecSegmentation, ShortHalvesOfSplitPortsAreWarned) {
    const SplitCase cases[] = {
        {0.125, 1, ""}, // halves of exactly 4 radii
        {0.126, 1,
         "the port on segment 2 of tag 1 splits it into halves of 3.97 radii (< 4: the thin-wire "
         "kernel is poor there; NEC-2 does not split port segments)"},
        {0.2, 2,
         "2 port segments are split into halves shorter than 4 radii, the shortest 2.50 radii on "
         "segment 2 of tag 1 (the thin-wire kernel is poor there; NEC-2 does not split port "
         "segments)"},
    };
    for (const SplitCase& c : cases) {
        Model m = nec_model();
        add_w(m, 0, 0, -2.5, 0, 0, 2.5, c.radius, 5, 1);
        add_nec_src(m, 1, 2);
        if (c.nsrc > 1) add_nec_src(m, 1, 4);
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "") << c.radius;
        int found = 0;
        for (const std::string& w : mesh.warnings)
            if (w.find("split") != std::string::npos) {
                ++found;
                EXPECT_EQ(w, c.warning);
            }
        EXPECT_EQ(found, *c.warning ? 1 : 0) << c.radius;
    }
}

} // namespace

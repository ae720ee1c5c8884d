// NEC decks with SY symbols, an RP card and several FR cards through whole
// runs, against the same decks expanded by hand: identical meshes and
// identical results.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using nlohmann::json;

json run_json(const std::string& deck, const std::string& out, std::vector<std::string> extra,
              const char* file = "results.json") {
    std::vector<std::string> args = {deck, "-q", "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult r = run_quarlin(args);
    EXPECT_EQ(r.code, 0) << deck << "\n" << r.out;
    std::string text = read_file(test_dir() + "/" + out + "/" + file);
    return text.empty() ? json() : json::parse(text);
}

// results.json without what names the run (the input path) or varies from
// run to run (the run time).
json figures(json j) {
    j.erase("input");
    j.erase("runtime");
    return j;
}

const char* kSyDeck = "CM two elements from symbols\n"
                      "CE\n"
                      "SY f=14.2, lam=299.792458/f  'wavelength in m\n"
                      "SY H=10, len=0.48*lam\n"
                      "SY n = 21 s=0.2*lam, r=1.5e-3\n"
                      "SY t=2\n"
                      "GW 1 n 0 -len/2 h 0 len/2 h r\n"
                      "GW t N -S -len*0.52 h -s len*0.52 H R\n"
                      "GE 1\n"
                      "GN 0 0 0 0 13 0.005\n"
                      "EX 0 1 (n+1)/2 0 1 0\n"
                      "FR 0 5 0 0 f-0.2 0.1\n"
                      "EN\n";

TEST(NecDecks, SymbolsGiveTheMeshAndResultsOfTheDeckByHand) {
    const double f = 14.2, lam = 299.792458 / f, len = 0.48 * lam, s = 0.2 * lam;
    char by_hand[1024];
    std::snprintf(by_hand, sizeof by_hand,
                  "CM two elements from symbols\nCE\n"
                  "GW 1 21 0 %.17g 10 0 %.17g 10 1.5e-3\n"
                  "GW 2 21 %.17g %.17g 10 %.17g %.17g 10 1.5e-3\n"
                  "GE 1\nGN 0 0 0 0 13 0.005\nEX 0 1 11 0 1 0\nFR 0 5 0 0 %.17g 0.1\nEN\n",
                  -len / 2, len / 2, -s, -len * 0.52, -s, len * 0.52, f - 0.2);
    std::string a = write_file("sy.nec", kSyDeck), b = write_file("hand.nec", by_hand);
    json ma = run_json(a, "mesh_a", {"-mesh"}, "mesh.json");
    json mb = run_json(b, "mesh_b", {"-mesh"}, "mesh.json");
    ASSERT_FALSE(ma.is_null());
    EXPECT_EQ(ma["segs"], mb["segs"]);
    EXPECT_EQ(ma["sources"], mb["sources"]);
    json ra = run_json(a, "out_a", {}), rb = run_json(b, "out_b", {});
    ASSERT_FALSE(ra.is_null());
    EXPECT_EQ(figures(ra), figures(rb));
    EXPECT_EQ(ra["sweep"].size(), 5u);
}

// The first RP card's steps are the pattern grid's: the same as giving them
// on the command line to the deck without RP; the command line still wins.
TEST(NecDecks, RpStepsAreThePatternGrid) {
    const std::string body = "CM rp\nCE\nGW 1 11 0 0 0.1 0 0 5 0.001\nGE 1\nEX 0 1 1 0 1 0\n"
                             "FR 0 1 0 0 14.2 0\n";
    std::string with_rp = write_file("rp.nec", body + "RP 0 10 25 1000 0 0 10 15\nXQ\nEN\n");
    std::string plain = write_file("plain.nec", body + "EN\n");
    json a = run_json(with_rp, "a", {});
    json b = run_json(plain, "b", {"-dth", "10", "-dph", "15"});
    ASSERT_FALSE(a.is_null());
    EXPECT_EQ(a["pattern"]["dth"].get<double>(), 10);
    EXPECT_EQ(a["pattern"]["nth"].get<int>(), 10); // 0 to 90 degrees over the ground
    EXPECT_EQ(a["pattern"]["nph"].get<int>(), 25);
    EXPECT_EQ(figures(a), figures(b));
    json c = run_json(with_rp, "c", {"-dth", "5"});
    EXPECT_EQ(c["pattern"]["dth"].get<double>(), 5);
    EXPECT_EQ(c["pattern"]["dph"].get<double>(), 15);
}

// Several FR blocks: the first block's frequencies are run, as if the deck
// had no other, and the others are named in one warning.
TEST(NecDecks, FurtherFrCardsChangeNothingButAreNamed) {
    const std::string head = "CM fr\nCE\nGW 1 21 0 -5 10 0 5 10 0.001\nGE 0\nEX 0 1 11 0 1 0\n";
    std::string two = write_file("two.nec", head + "FR 0 3 0 0 14 0.1\nXQ\nFR 0 1 0 0 21.2 0\n"
                                                   "XQ\nFR 0 1 0 0 28.5 0\nRP 0 19 73 1000 0 0 "
                                                   "5 5\nEN\n");
    std::string one =
        write_file("one.nec", head + "FR 0 3 0 0 14 0.1\nXQ\nRP 0 19 73 1000 0 0 5 5\nEN\n");
    std::vector<std::string> args = {two, "-q", "-o", "two"};
    RunResult r = run_quarlin(args);
    EXPECT_EQ(r.out, "WARNING: line 8: FR: ignored; the run uses the frequencies of the FR card on "
                     "line 6 (also line 10)\n");
    json a = json::parse(read_file(test_dir() + "/two/results.json"));
    json b = run_json(one, "one", {});
    EXPECT_EQ(figures(a), figures(b));
    EXPECT_EQ(a["design"]["f"].get<double>(), 14.1e6);
}

// A deck of two runs (the second with another feed and a load): the first
// run is computed, as if the deck ended after it, and the cards of the
// second are named.
TEST(NecDecks, OnlyTheFirstRunIsComputed) {
    const std::string first = "CM runs\nCE\nGW 1 21 0 -5 10 0 5 10 0.001\nGE 1\n"
                              "GN 2 0 0 0 13 0.005\nEX 0 1 11 0 1 0\nFR 0 1 0 0 14.2 0\nXQ\n";
    std::string two = write_file("runs.nec", first + "EX 0 1 6 0 1 0\nLD 5 1 0 0 3.7e7\nXQ\nEN\n");
    std::string one = write_file("run1.nec", first + "EN\n");
    RunResult r = run_quarlin({two, "-q", "-o", "two"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "WARNING: line 9: EX: ignored; it belongs to a further run after the XQ card "
                     "on line 8, and only the first run of a deck is computed\n"
                     "WARNING: line 10: LD: ignored; it belongs to a further run after the XQ "
                     "card on line 8, and only the first run of a deck is computed\n");
    json a = json::parse(read_file(test_dir() + "/two/results.json"));
    json b = run_json(one, "one", {});
    EXPECT_EQ(figures(a), figures(b));
    EXPECT_EQ(a["sources"].size(), 1u);
}

} // namespace

// Every example model in examples/ reads and runs with exit code 0, and the
// examples of the curve, load and line keywords hold what they describe.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "model/model.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> example_models() {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(source_path("examples")))
        if (e.path().extension() == ".ant") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Examples, EveryModelRunsWithExitCodeZero) {
    std::vector<std::string> models = example_models();
    ASSERT_FALSE(models.empty()) << "no examples found under " << source_path("examples");
    for (const std::string& path : models) {
        RunResult r = run_quarlin({path, "-q", "-o", test_dir()});
        EXPECT_EQ(r.code, 0) << path << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << path << "\n" << r.out;
    }
}

Model read_example(const std::string& name) {
    Model m;
    std::string err;
    model_clear_overrides();
    EXPECT_EQ(model_read(source_path("examples/" + name), m, err), 0) << name << ": " << err;
    return m;
}

TEST(Examples, GeometryMatchesTheDescriptions) {
    // A square of 1.035 wavelengths at 7.1 MHz, 12 m up, sides along x and y.
    Model loop = read_example("loop_40m.ant");
    ASSERT_EQ(loop.nwire(), 4);
    double perimeter = 0;
    for (const Wire& w : loop.wires) {
        perimeter += std::hypot(w.x2 - w.x1, w.y2 - w.y1, w.z2 - w.z1);
        EXPECT_NEAR(w.z1, 12, 1e-9);
        EXPECT_TRUE(std::abs(w.x2 - w.x1) < 1e-9 || std::abs(w.y2 - w.y1) < 1e-9);
    }
    EXPECT_NEAR(perimeter, 1.035 * 300 / 7.1, 1e-6); // the file takes lam = 300 / f

    // Eight turns of one wavelength's circumference starting on the feed wire.
    Model helix = read_example("helix_axial.ant");
    ASSERT_EQ(helix.npath(), 1);
    const Path& h = helix.paths[0];
    EXPECT_EQ(h.npt(), 8 * 72 + 1);
    const double lam = 0.299792458 / 2.4;
    EXPECT_NEAR(std::hypot(h.pts[0].x, h.pts[0].y) * 2 * M_PI, lam, 1e-6);
    EXPECT_NEAR(h.pts.back().z - h.pts[0].z, 8 * lam / 4, 1e-6);
    EXPECT_DOUBLE_EQ(helix.wires[0].x2, h.pts[0].x);
    EXPECT_DOUBLE_EQ(helix.wires[0].z2, h.pts[0].z);

    Model loaded = read_example("loaded_dipole.ant");
    ASSERT_EQ(loaded.nload(), 2);
    EXPECT_EQ(loaded.loads[0].pos, 0.25);
    EXPECT_EQ(loaded.loads[1].l, 20.7e-6);

    Model fed = read_example("line_fed_dipole.ant");
    ASSERT_EQ(fed.ntl(), 1);
    EXPECT_EQ(fed.tls[0].wire1, 1);
    EXPECT_EQ(fed.tls[0].wire2, 0);
    EXPECT_EQ(fed.tls[0].len, 20);

    Model iv = read_example("inverted_v_real_ground.ant");
    ASSERT_EQ(iv.nwire(), 2);
    EXPECT_EQ(iv.ground, GROUND_REAL);
    EXPECT_EQ(iv.somm, 1);
    EXPECT_NEAR(iv.wires[0].z2, 12, 1e-9); // the apex

    Model pcb = read_example("pcb_dipole.ant");
    EXPECT_EQ(pcb.ground, GROUND_PCB);
    EXPECT_DOUBLE_EQ(pcb.pcb_h, 0.0016);
    EXPECT_DOUBLE_EQ(pcb.wires[0].radius, 0.0015 / 4);
}

} // namespace

// Display names of model codes, shared by the console report and the JSON
// files.
#pragma once

// "free space", "perfect ground", "real ground" (also the mininec ground) or
// "printed board".
const char* ground_name(int ground);

struct Model;
struct Mesh;
// Number of wires the mesh was built from: its expanded wire list when
// paths were expanded, else the model's wires.
int wire_count(const Model& m, const Mesh& mesh);

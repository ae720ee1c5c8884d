// Display names of model codes, shared by the console report and the JSON
// files.
#pragma once

// "free space", "perfect ground", "real ground" (also the mininec ground) or
// "printed board".
const char* ground_name(int ground);

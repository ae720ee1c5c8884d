#include "driver/names.h"

#include "model/model.h"

const char* ground_name(int ground) {
    switch (ground) {
    case GROUND_PERFECT:
        return "perfect ground";
    case GROUND_REAL:
    case GROUND_MININEC:
        return "real ground";
    case GROUND_PCB:
        return "printed board";
    default:
        return "free space";
    }
}

#include "model/nec.h"

#include "common/text.h"

int read_nec(std::FILE*, Model&, std::string& err) {
    return set_err(err, "NEC card decks cannot be read yet");
}

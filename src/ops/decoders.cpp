#include "ops/decoders.h"

namespace {

// 16-bit values in replies are little-endian.
unsigned reply_u16(Reply reply, size_t low) { return reply[low] + 256u * reply[low + 1]; }

}  // namespace

void print_power_status(FILE* out, Reply reply, bool) {
  static constexpr const char* kFlagWords[] = {"motion ", "charging ", "pg ", "line "};
  for (unsigned bit = 0; bit < 4; ++bit) {
    if (reply[1] & (1u << bit)) fputs(kFlagWords[bit], out);
  }
  fprintf(out, "%umV %u%%\n\n", reply_u16(reply, 2), static_cast<unsigned>(reply[4]));
}

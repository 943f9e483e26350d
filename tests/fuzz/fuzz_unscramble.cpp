// ScrambledText: unscrambling any bytes never reads past them and never yields more
// bytes than the digits could hold; scrambling any bytes and unscrambling the result
// gives them back with a matching checksum.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Scramble.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string plain;
    MiscFuncs::UnscrambleText(input, plain);
    if (plain.size() > (size < 4 ? 0 : (size - 4 + 1) / 2)) std::abort();

    const std::string scrambled = MiscFuncs::ScrambleText(input);
    if (scrambled.size() != 4 + 2 * size) std::abort();
    std::string back;
    if (!MiscFuncs::UnscrambleText(scrambled, back) || back != input) std::abort();
    return 0;
}

// Base64: decoding any bytes stays within the input and yields at most 3 bytes per 4
// characters; encoding any bytes and decoding the result gives them back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/Digest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string decoded = MiscFuncs::Base64Decode(input);
    if (decoded.size() > size / 4 * 3) std::abort();
    if (!decoded.empty() && MiscFuncs::Base64Decode(MiscFuncs::Base64Encode(decoded)) != decoded) std::abort();

    const std::string encoded = MiscFuncs::Base64Encode(input);
    if (encoded.size() != (size + 2) / 3 * 4) std::abort();
    if (MiscFuncs::Base64Decode(encoded) != input) std::abort();
    return 0;
}

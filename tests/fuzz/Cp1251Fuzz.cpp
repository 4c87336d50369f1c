// The name conversion both ways, on arbitrary bytes, against the code page's
// published table: what the program sends to the console and what it shows
// from it.
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "files/Cp1251.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/Cp1251Reference.h"

using namespace vemkard;
using namespace vemkard::fuzz;
using namespace vemkard::testing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const HeapCopy copy({data, size});
    const std::string_view input(reinterpret_cast<const char*>(copy.Data()), size);
    try {
        const std::string shown = Cp1251ToUtf8(input);
        FUZZ_CHECK(shown == ReferenceCp1251ToUtf8(input), "CP1251 -> UTF-8 differs from the table");

        const std::string sent = Utf8ToCp1251(input);
        FUZZ_CHECK(sent == ReferenceUtf8ToCp1251(input), "UTF-8 -> CP1251 differs: got %zu bytes",
                   sent.size());

        // What the console lists comes back as it went, but for the one
        // undefined byte.
        std::string expected(input);
        for (char& byte : expected) {
            if (static_cast<unsigned char>(byte) == 0x98) byte = '?';
        }
        FUZZ_CHECK(Utf8ToCp1251(shown) == expected, "round trip changed the bytes");
    } catch (const std::exception& error) {
        FUZZ_CHECK(false, "exception: %s", error.what());
    }
    return 0;
}

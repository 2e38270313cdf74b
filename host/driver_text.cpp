#include "driver_text.h"

#include <iconv.h>

#include <cerrno>

namespace aucal {

namespace {

constexpr int kChineseBlock = 6;

class Converter {
public:
    explicit Converter(const char* from) : cd_(iconv_open("UTF-8", from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::string convert(const std::string& text) const {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return text;
        std::string out;
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char buffer[256];
        while (inLeft > 0) {
            char* o = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t r = iconv(cd_, &in, &inLeft, &o, &outLeft);
            out.append(buffer, static_cast<std::size_t>(o - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                // An invalid or cut-off byte: one replacement character, then on.
                out += "\xEF\xBF\xBD";
                ++in;
                --inLeft;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    iconv_t cd_;
};

}  // namespace

const char* driverCodePage(int language) { return language == kChineseBlock ? "BIG5" : "WINDOWS-1252"; }

std::string driverTextToUtf8(const std::string& text, int language) {
    return Converter(driverCodePage(language)).convert(text);
}

}  // namespace aucal

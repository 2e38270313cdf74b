// Driver message boxes for the terminal: the drivers' texts are the bytes of
// their language block's code page (Windows-1252 for the Western blocks 0 to
// 5, Big5 for the Traditional Chinese block 6); the terminal wants UTF-8.
#ifndef AUCAL_DRIVER_TEXT_H
#define AUCAL_DRIVER_TEXT_H

#include <string>

namespace aucal {

// The Windows code page of a language block: 1252 or 950 (Big5).
unsigned driverCodePage(int language);
// text converted from that code page to UTF-8; a byte that does not convert
// becomes U+FFFD.
std::string driverTextToUtf8(const std::string& text, int language);

}  // namespace aucal

#endif

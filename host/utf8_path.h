// Paths as the host keeps them: UTF-8 strings (imaging/utf8_file.h), given
// to std::filesystem through char8_t so that Windows, whose paths are UTF-16,
// does not read them in its ANSI code page.
#ifndef AUCAL_UTF8_PATH_H
#define AUCAL_UTF8_PATH_H

#include "imaging/utf8_file.h"

namespace aucal {

using imaging::utf8Path;
using imaging::utf8String;

}  // namespace aucal

#endif

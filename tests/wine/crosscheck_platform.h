// What the cross-check runner needs from each platform; crosscheck_win32.cpp
// and crosscheck_posix.cpp each implement it.
#ifndef TESTS_WINE_CROSSCHECK_PLATFORM_H
#define TESTS_WINE_CROSSCHECK_PLATFORM_H

#include <string>

namespace crosscheck::platform {

// The file of one of our libraries by target name, in this platform's form.
std::string libraryFile(const std::string& libraryDir, const std::string& name);
// The folder of our libraries when none is given: next to the program on
// Windows, ../lib from the program on Linux.
std::string defaultLibraryDir(const char* argv0);
void* load(const std::string& path);
void* symbol(void* library, const char* name);
void release(void* library);

// Before each case: a clean desktop. After it: what the case left behind
// (empty when nothing).
void beforeCase();
std::string leftBehind();

// Called by the platform side for each message box; gives the button that
// answers it.
int messageBoxShown(const std::string& title, const std::string& text);

// dir joined with a '/'-separated relative name, in this platform's form.
std::string join(const std::string& dir, const std::string& relative);

}  // namespace crosscheck::platform

#endif

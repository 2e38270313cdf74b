// What the cross-check runner needs from each platform; crosscheck_win32.cpp
// and crosscheck_posix.cpp each implement it.
#ifndef TESTS_WINE_CROSSCHECK_PLATFORM_H
#define TESTS_WINE_CROSSCHECK_PLATFORM_H

#include <cstdint>
#include <string>

namespace crosscheck::platform {

// The file of one of our libraries by target name, in this platform's form.
std::string libraryFile(const std::string& libraryDir, const std::string& name);
// The folder of our libraries when none is given: next to the program on
// Windows, ../lib from the program on Linux.
std::string defaultLibraryDir(const char* argv0);
void* load(const std::string& path);
// Why the last load failed, as the platform tells it.
std::string loadError();
void* symbol(void* library, const char* name);
void release(void* library);

// Before each case: a clean desktop. After it: what the case left behind
// (empty when nothing).
void beforeCase();
// Milliseconds that the libraries under test have slept on the virtual clock
// since the program started.
std::uint64_t sleptMilliseconds();
std::string leftBehind();

// A crash of the running case: prints its failure and the closing line (the
// platform side then ends the program with a failure status).
void reportCrash(const char* what);

// Called by the platform side for each message box; gives the button that
// answers it.
int messageBoxShown(const std::string& title, const std::string& text);

// dir joined with a '/'-separated relative name, in this platform's form.
std::string join(const std::string& dir, const std::string& relative);

}  // namespace crosscheck::platform

#endif

/* What a command-line host asks of the system beyond the libraries' own
 * calls: its arguments, console and program file, stop requests and files by
 * path (host_desktop.h has its windows). Every path and text here is UTF-8: the Windows side converts to
 * UTF-16 and calls the W functions named below; the POSIX side uses the
 * bytes as they are and drives the stand-in desktop (desktop_posix.h). */
#ifndef PLATFORM_HOST_SYSTEM_H
#define PLATFORM_HOST_SYSTEM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "platform/calling.h"
#include "platform/library.h"

#ifdef __cplusplus
extern "C" {
#endif

/* --- Arguments, console, program --- */

/* GetCommandLineW and CommandLineToArgvW: the program's arguments in UTF-8
 * (on POSIX argv as given). The array lives to the end of the process. */
char** pfHostArguments(int argc, char** argv, int* count);
/* SetConsoleOutputCP(CP_UTF8): console text is written in UTF-8 (nothing to
 * do on POSIX). */
void pfHostUtf8Console(void);
/* GetConsoleMode on GetStdHandle(STD_OUTPUT_HANDLE / STD_ERROR_HANDLE)
 * (isatty): nonzero when stream 1 or 2 is a terminal. */
int pfHostIsTerminal(int stream);
/* GetModuleFileNameW(NULL) (/proc/self/exe): the running program's path;
 * copies at most size - 1 bytes and a zero, returns the path's length, 0
 * when unknown. */
size_t pfHostProgramPath(char* buffer, size_t size);
/* The file name of the project library <name>: <name>.dll on Windows,
 * lib<name>.so on POSIX (copied as pfHostProgramPath does). */
size_t pfHostLibraryFileName(const char* name, char* buffer, size_t size);

/* MultiByteToWideChar from codePage, then WideCharToMultiByte to UTF-8
 * (iconv): text of length bytes in UTF-8, a byte that is no character of the
 * code page as U+FFFD. Copies at most size - 1 bytes and a zero; returns the
 * whole conversion's length. Code pages 1252 and 950 (Big5) at least. */
size_t pfHostToUtf8(unsigned codePage, const char* text, size_t length, char* buffer, size_t size);

/* LoadLibraryW (pfLoadLibrary): the library at a UTF-8 path. The libraries'
 * own pfLoadLibrary stays LoadLibraryA, in the ANSI code page of the paths
 * that GetWindowsDirectoryA gives the drivers. */
PfLibrary pfHostLoadLibrary(const char* path);
/* The path of an existing file as the libraries' exports take it: they open
 * their char* paths with the narrow calls (OpenFile, _lcreat), which read
 * the ANSI code page. WideCharToMultiByte(CP_ACP) of the UTF-8 path, or of
 * its short form (GetShortPathNameW) when the code page lacks one of its
 * characters; on POSIX the path as it is. Copied as pfHostProgramPath does;
 * 0 when the path has no such form. */
size_t pfHostLibraryPathArgument(const char* path, char* buffer, size_t size);

/* --- Stop requests --- */

/* SetConsoleCtrlHandler (sigaction on SIGINT, SIGTERM, SIGHUP): handler gets
 * the POSIX signal number the request stands for: 2 for Ctrl-C and
 * Ctrl-Break, 1 for closing the console, 15 for logoff and shutdown. It runs
 * on a thread of its own on Windows and as a signal handler on POSIX: it may
 * only set flags and call pfHostRemoveFile and pfHostExitNow. */
typedef void (*PfHostStopHandler)(int stop);
void pfHostOnStop(PfHostStopHandler handler);
/* ExitProcess (_exit): ends the process at once. */
void pfHostExitNow(int status);

typedef intptr_t PfHostFile;
#define PF_HOST_NO_FILE ((PfHostFile)-1)

/* --- Copies of this process ---
 * Windows has no fork: there pfHostFork fails and the caller works on
 * threads instead. */

/* fork: a copy of this process, which gets 0; the parent gets the copy's
 * id (above 0); -1 when no copy can be made. Only from a process that runs
 * one thread. */
long pfHostFork(void);
/* waitpid: until the copy ends; its exit status, -1 when it did not exit. */
int pfHostWaitChild(long child);
/* pipe: ends[0] reads what ends[1] writes; nonzero on success. */
int pfHostPipe(PfHostFile ends[2]);
/* mmap(MAP_SHARED | MAP_ANONYMOUS): zeroed memory that copies forked later
 * share with this process; null on failure. */
void* pfHostSharedMemory(size_t size);
void pfHostFreeSharedMemory(void* memory, size_t size);

/* --- Files --- */


/* _wfopen (fopen). */
FILE* pfHostOpenFile(const char* path, const char* mode);
/* DeleteFileW (unlink): nonzero on success. Safe in the stop handler. */
int pfHostRemoveFile(const char* path);
/* CreateFileW with CREATE_NEW over names made from pattern (mkstemps): the
 * six Xs that end pattern before its last suffixLength bytes are replaced
 * until a new file is made; pattern then holds its name. The file gets the
 * permissions of modelPath when that exists, else those a new file gets
 * (on Windows, the folder's). PF_HOST_NO_FILE on failure. */
PfHostFile pfHostCreateUniqueFile(char* pattern, int suffixLength, const char* modelPath);
/* WriteFile (write): bytes written, -1 on error. */
long pfHostWrite(PfHostFile file, const void* data, size_t size);
/* ReadFile (read): bytes read, 0 at the end, -1 on error. */
long pfHostRead(PfHostFile file, void* data, size_t size);
/* WriteFile at an offset (pwrite): bytes written, -1 on error. */
long pfHostWriteAt(PfHostFile file, const void* data, size_t size, long long offset);
/* ReadFile at an offset (pread): bytes read, 0 past the end, -1 on error. */
long pfHostReadAt(PfHostFile file, void* data, size_t size, long long offset);
/* Linux: O_DIRECT set or cleared on the open file (fcntl F_SETFL). While it
 * is set, writes go from the caller's memory to the disk past the system's
 * file cache, and their offsets, sizes and addresses must be multiples of
 * PF_HOST_UNCACHED_ALIGNMENT. Nonzero when the file is then as asked (a file
 * system without it stays cached). Windows opens a handle cached or not once
 * for all: nonzero for off only. */
int pfHostUncachedWrites(PfHostFile file, int on);
#define PF_HOST_UNCACHED_ALIGNMENT 4096
/* CloseHandle (close). */
void pfHostClose(PfHostFile file);
/* Linux: sync_file_range(SYNC_FILE_RANGE_WRITE) from byte `from` to the
 * file's end once 8 MiB or more have been written past it, which starts the
 * writing to the disk and returns; gives the new start. Elsewhere nothing
 * (Windows has no such call; FlushFileBuffers waits): gives from. */
long long pfHostStartWriteback(PfHostFile file, long long from);
/* FlushFileBuffers (fsync) of the file or folder at path: nonzero on
 * success. A folder is flushed on POSIX only (on Windows the rename reaches
 * the disk with MOVEFILE_WRITE_THROUGH). */
int pfHostSyncPath(const char* path, int isFolder);
/* MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
 * (rename): nonzero on success. */
int pfHostReplaceFile(const char* from, const char* to);
/* GetFileInformationByHandle (stat): nonzero when both paths name one file
 * (same volume serial number and file index; device and inode). */
int pfHostSameFile(const char* a, const char* b);
/* GetFileAttributesW and the folder's owner (lstat): -1 when nothing is at
 * path, 1 when it is a folder (on POSIX one of this user's that no one else
 * may write), else 0. */
int pfHostPrivateFolder(const char* path);
/* GetTempPathW ($TMPDIR, else /tmp): the temporary folder, without a
 * trailing separator; copied as pfHostProgramPath does. */
size_t pfHostTemporaryFolder(char* buffer, size_t size);
/* FormatMessageW of GetLastError() (strerror of errno): why the last of the
 * calls above failed, in a buffer of the calling thread. */
const char* pfHostErrorText(void);

#ifdef __cplusplus
}
#endif

#endif

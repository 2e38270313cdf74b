// What the drivers show: texts of the current language block, the status
// texts in item 1017 of the host's dialog, message boxes and the wait cursor
// (the warm-up popup is in popup.h). Compiled into each driver, so each
// library has its own language block base.
#ifndef SCANNER_DRIVER_COMMON_MESSAGES_H
#define SCANNER_DRIVER_COMMON_MESSAGES_H

#include <cstdint>
#include <string>

#include "platform/cursors.h"
#include "platform/dialogs.h"
#include "platform/resources.h"

namespace drv {

// Positions within a language block.
enum class Text : std::uint16_t {
    WriteDiskFileError = 1,
    SlidekitNotConnected = 2,
    DiskSpaceNotEnough = 3,
    ScannerNotReady = 4,
    ScannerNotFound = 5,
    CheckListFirst = 6,  // 6..11: the check list shown for 4 and 5
    CheckListLast = 11,
    InsufficientMemory = 12,
    OpenBitmapFailed = 13,
    FlatbedScanner = 14,
    PaperJammed = 15,
    NoPaper = 16,
    CoverNotClosed = 17,
    WarmingUp = 18,
    ProductTitle = 19,
    LoadSpicallError = 27,
    Scanning = 28,
    ImageSaving = 29,
};

// The module state of this subject (one per driver library).
struct MessagesState {
    std::uint16_t blockBase = 0;          // language index x 50, 16-bit
};
MessagesState& messagesState();

// The resources of this driver library.
PfInstance driverInstance();

// Language index 0..6 (any value is accepted: an index without a block loads
// empty texts). The base is index x 50 in 16 bits.
void setLanguage(std::uint16_t languageIndex);
std::uint16_t blockBase();

// The text of a position in the current block; empty when missing.
std::string loadText(Text position);
std::string loadText(std::uint16_t position);

// Status text: the text of position in item 1017 of the host window.
void setStatusText(PfWindow host, Text position);

// Message box title from the profile section "AUCAL" ("Brand", "Package").
std::string messageTitle();
// Message box text: the check list for positions 4 and 5, else the position's text.
std::string messageText(Text position);
// Shows the message box (information icon, OK) owned by owner; its result is not used.
void showMessage(PfWindow owner, Text position);

// The wait cursor while held; the arrow cursor afterwards.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void restore();  // shows the arrow now (once)
private:
    bool held_ = true;
};

}  // namespace drv

#endif

// Texts, status texts, message boxes and cursors of a driver library. The resources are found through the module that holds this
// code, so each driver reads its own copy of the string table and dialogs.
#include "messages.h"

#include <cstring>

#include "driver_resources.h"
#include "platform/message_box.h"
#include "platform/profile.h"

namespace drv {
namespace {

// Any object of this library: its address names the library's module.
const char kModuleAnchor = 0;

#if !defined(_WIN32)
// On POSIX the table generated from the resource script is handed to the
// desktop while the library is loaded.
struct ResourceRegistration {
    ResourceRegistration() { pfdRegisterResources(&drvResourceTable, &kModuleAnchor); }
    ~ResourceRegistration() { pfdUnregisterResources(&drvResourceTable); }
    ResourceRegistration(const ResourceRegistration&) = delete;
    ResourceRegistration& operator=(const ResourceRegistration&) = delete;
};
const ResourceRegistration gResourceRegistration;
#endif

constexpr std::uint32_t kProfileBytes = 256;

bool equalsIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
        char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

// A missing key reads as one blank. GetProfileStringA may strip trailing
// blanks from its default, which would turn that blank into nothing on some
// systems; so the default passed is a text no profile value holds, replaced
// here.
std::string profileText(const char* key) {
    static const char kMissing[] = "\x01";
    char value[kProfileBytes];
    pfGetProfileString("AUCAL", key, kMissing, value, sizeof value);
    if (std::strcmp(value, kMissing) == 0) return " ";
    return value;
}

}  // namespace

MessagesState& messagesState() {
    static MessagesState state;
    return state;
}

PfInstance driverInstance() { return pfModuleOf(&kModuleAnchor); }

void setLanguage(std::uint16_t languageIndex) {
    messagesState().blockBase = static_cast<std::uint16_t>(languageIndex * DRV_LANGUAGE_BLOCK_SIZE);
}

std::uint16_t blockBase() { return messagesState().blockBase; }

std::string loadText(std::uint16_t position) {
    char text[512];
    const auto id = static_cast<std::uint16_t>(messagesState().blockBase + position);
    int n = pfLoadString(driverInstance(), id, text, static_cast<int>(sizeof text));
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string loadText(Text position) { return loadText(static_cast<std::uint16_t>(position)); }

void setStatusText(PfWindow host, Text position) {
    pfSetDlgItemText(host, DRV_IDC_HOST_STATUS, loadText(position).c_str());
}

std::string messageTitle() {
    const std::string brand = profileText("Brand");
    if (equalsIgnoringCase(brand.c_str(), "NULL")) return "Calibrator";
    return brand + " " + profileText("Package") + " " + "Calibrator";
}

std::string messageText(Text position) {
    if (position != Text::ScannerNotReady && position != Text::ScannerNotFound) return loadText(position);
    // Both show the same check list: cables, power, switch-on order.
    std::string text;
    for (auto p = static_cast<std::uint16_t>(Text::CheckListFirst);
         p <= static_cast<std::uint16_t>(Text::CheckListLast); ++p)
        text += loadText(p);
    return text;
}

void showMessage(PfWindow owner, Text position) {
    const std::string title = messageTitle();
    const std::string text = messageText(position);
    pfMessageBox(owner, text.c_str(), title.c_str(), PF_MB_OK | PF_MB_ICONINFORMATION);
}

WaitCursor::WaitCursor() { pfSetCursor(pfLoadSystemCursor(PF_IDC_WAIT)); }

WaitCursor::~WaitCursor() { restore(); }

void WaitCursor::restore() {
    if (!held_) return;
    held_ = false;
    pfSetCursor(pfLoadSystemCursor(PF_IDC_ARROW));
}

}  // namespace drv

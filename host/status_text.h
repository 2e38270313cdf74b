// Every status code of every export as a sentence a person can act on.
#ifndef AUCAL_STATUS_TEXT_H
#define AUCAL_STATUS_TEXT_H

#include <cstdint>
#include <string>

namespace aucal {

enum class Export {
    InitCorrect,
    CorrectImage,
    ReleaseCorrect,
    ScannerIT8Analysis,
    SetPhosphorType,
    VisualMatch,
    CreatTargetImage,
    PrinterTargetAnalysis,
    PrinterTargetOpenAnalysis,
    ScanImage,
};

std::string statusSentence(Export e, std::int32_t status);

}  // namespace aucal

#endif

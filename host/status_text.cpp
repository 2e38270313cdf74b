#include "status_text.h"

#include "qel_cms.h"

namespace aucal {

std::string statusSentence(Export e, std::int32_t status) {
    if (status == 0) return "done";
    switch (e) {
        case Export::InitCorrect:
            return "the colour engine could not allocate memory for the correction";
        case Export::CorrectImage:
            return "no correction of the right kind is loaded";
        case Export::ReleaseCorrect:
            return "no correction was loaded";
        case Export::ScannerIT8Analysis:
            switch (status) {
                case QEL_SCANNER_IMAGE_UNREADABLE:
                    return "the IT8 target was not found in the scanned image (the file cannot be read, the target's "
                           "frame was not found, or the target lies upside down: scan it top edge first, grey scale "
                           "last)";
                case QEL_SCANNER_NO_MEMORY: return "the colour engine ran out of memory";
                case QEL_SCANNER_REFERENCE_UNOPENED: return "the reference data file cannot be opened";
                case QEL_SCANNER_REFERENCE_INVALID:
                    return "the reference data file is not an IT8.7/2 file with XYZ values for every patch";
                case QEL_SCANNER_CANCELLED: return "the scanner characterisation was cancelled";
                case QEL_SCANNER_FIT_FAILED:
                    return "the scanner model could not be fitted: the measured grey scale or patches do not give a "
                           "usable tone curve (check the scan's exposure)";
            }
            break;
        case Export::SetPhosphorType:
            return "each phosphor x must lie strictly between 0 and 1";
        case Export::VisualMatch:
            return "no scanner model was given";
        case Export::CreatTargetImage:
            return "the printer chart file cannot be created or written";
        case Export::PrinterTargetAnalysis:
            switch (status) {
                case QEL_PRINTER_UNREADABLE_OR_FEW_TOP_MARKS:
                    return "the printed chart was not found: the file cannot be read, or fewer than 17 marks were "
                           "found along its top edge";
                case QEL_PRINTER_TOO_MANY_TOP_MARKS:
                    return "the printed chart was not found: more than 17 marks along its top edge (dirt or a "
                           "cropped scan?)";
                case QEL_PRINTER_NO_TOP_BOX: return "the printed chart was not found: no dark marks along its top";
                case QEL_PRINTER_FEW_SIDE_MARKS:
                    return "the printed chart was not found: fewer than 32 marks along its side";
                case QEL_PRINTER_MANY_SIDE_MARKS:
                    return "the printed chart was not found: more than 32 marks along its side";
                case QEL_PRINTER_FEW_SIDE_BOXES:
                    return "the printed chart was not found: its side marks are missing";
                case QEL_PRINTER_CANCELLED: return "the printer characterisation was cancelled";
                case QEL_PRINTER_NO_MODEL: return "no scanner model was given";
                case QEL_PRINTER_NO_MEMORY: return "the colour engine ran out of memory";
            }
            break;
        case Export::PrinterTargetOpenAnalysis:
            return "the printer table could not be turned into a correction (no table or model, or cancelled)";
        case Export::ScanImage:
            switch (status) {
                case 1: return "the scan failed (the driver has said why)";
                case 12: return "the driver could not get memory for the shading calibration";
            }
            break;
    }
    return "failed with status " + std::to_string(status);
}

}  // namespace aucal

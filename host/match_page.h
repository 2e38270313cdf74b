// The monitor's visual match page: an HTML file the user opens in a browser
// to find, for each channel, the drive level that shows half of the channel's
// full luminance. It ends with the "aucal monitor" command to run.
#ifndef AUCAL_MATCH_PAGE_H
#define AUCAL_MATCH_PAGE_H

#include <string>

namespace aucal {

struct MatchPageSettings {
    std::string model;   // scanner model named in the printed command; empty: the user types it on the page
    std::string output;  // monitor block the printed command writes
};

std::string matchPageHtml(const MatchPageSettings& settings);
bool writeMatchPage(const std::string& path, const MatchPageSettings& settings, std::string* error);

}  // namespace aucal

#endif

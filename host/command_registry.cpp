#include "command_registry.h"

#include <algorithm>

namespace aucal {

namespace {

struct Registration {
    int order;
    AddCommand add;
};

// Filled during static initialisation, before main runs.
std::vector<Registration>& registrations() {
    static std::vector<Registration> list;
    return list;
}

}  // namespace

RegisterCommand::RegisterCommand(int order, AddCommand add) { registrations().push_back({order, add}); }

std::vector<AddedCommand> addRegisteredCommands(CLI::App& app, const CommonOptions& common) {
    std::vector<Registration> list = registrations();
    std::sort(list.begin(), list.end(), [](const Registration& a, const Registration& b) { return a.order < b.order; });
    std::vector<AddedCommand> added;
    for (const Registration& r : list) added.push_back(r.add(app, common));
    return added;
}

}  // namespace aucal

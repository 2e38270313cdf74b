// Checks made on the command line before any work: numbers within what the
// engine and the virtual devices accept (the range named in the message),
// names or numbers from a listed set, outputs that are no input and do not
// collide, output extensions that match what is written.
#ifndef AUCAL_OPTION_CHECKS_H
#define AUCAL_OPTION_CHECKS_H

#include <CLI/CLI.hpp>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace aucal {

// A finite number within [low, high]; the message names the range and unit.
CLI::Validator within(double low, double high, const std::string& unit);

// Names and numbers accepted for the drivers' message language and the
// target type; help texts listing them.
const std::map<std::string, int>& languageNames();
const std::map<std::string, int>& targetTypeNames();
std::string namesHelp(const std::map<std::string, int>& names);
// Accepts a name (any case) or one of the numbers, and hands on the number.
CLI::Validator nameOrNumber(const std::map<std::string, int>& names);

// A listed name, the list in the message.
CLI::Validator oneOf(const std::vector<std::string>& names);

// "" when every output is a file of its own; otherwise the sentence: an
// output that is the same file as an input (same device and inode), or two
// outputs that would land on one name.
std::string outputConflict(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);
// "" when path ends in one of the extensions (any case); otherwise the sentence.
std::string extensionConflict(const std::string& path, std::initializer_list<const char*> extensions,
                              const std::string& what);

// A folder in a shared place (the temporary folder) that aucal loads code
// from must not be another user's: "" when path does not exist or is a
// directory (not a link) of this user's that no one else may write, else the
// sentence naming it as `what`.
std::string privateFolderRefusal(const std::string& path, const std::string& what);

// Phosphor chromaticities (x y of red, green, blue) the engine can build a
// matrix from: "" or the sentence. None given is fine.
std::string phosphorRefusal(const std::vector<float>& phosphors);

// Options given together that do not go together, or one that would be
// ignored: "" or the sentence.
std::string refusedTogether(const CLI::App& command, const std::string& a, const std::string& b,
                            const std::string& why);

}  // namespace aucal

#endif

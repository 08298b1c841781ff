#include "BenchFolder.h"

#include <cstdlib>

namespace bopwell::bench
{

BenchFolder::BenchFolder (const juce::String& name) :
    folder (juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile (name, {}, false))
{
    folder.createDirectory();
}

BenchFolder::~BenchFolder() { folder.deleteRecursively(); }

bool runQuietly (const std::string& command) { return std::system ((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string shellQuoted (const juce::File& file) { return "'" + file.getFullPathName().replace ("'", "'\\''").toStdString() + "'"; }

} // namespace bopwell::bench

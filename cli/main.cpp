#include "cli/Cli.h"

#include <juce_events/juce_events.h>

#include <iostream>

int main (int argc, char* argv[])
{
    const juce::ScopedJuceInitialiser_GUI juce;
    return bopwell::cli::run ({ argv + 1, argv + argc }, std::cout, std::cerr);
}

// Preset communities installed for a test, the way the saver installs them.
#pragma once

#include <ctime>
#include <string>

#include "world/biotope.h"

struct Messages {
    std::string out;
    std::string err;
};

// Builds the world `biotope` for preset n on a width x height surface, the
// clock reading `clock` at start; returns what it wrote.
Messages InstallCommunity(int n, int width, int height, std::time_t clock);

// Gives the bots of `world` the genes and step functions of preset n and
// initialises them (Biotope::InitCommunity), their gene lines swallowed.
void GivePresetBots(Biotope& world, int n);

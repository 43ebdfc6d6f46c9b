#pragma once
// Facts about the running program and the screen.
#include <QString>

namespace vintrel {

namespace App {
QString Title();         // "Vintrel"
QString Path();          // the folder that holds the program
// True when another copy of the program is already running for this user. The
// first call decides; a copy that answered False holds the claim until it exits,
// and a claim left by a copy that was killed does not count.
bool PrevInstance();
// The user's folder for the lock and the socket of the running copy.
QString RuntimeFolder();
} // namespace App

namespace Screen {
double TwipsPerPixelX(); // 1440 / the screen's logical dots per inch
double TwipsPerPixelY();
double Width();          // the screen's size in twips
double Height();
} // namespace Screen

} // namespace vintrel

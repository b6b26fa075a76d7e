#pragma once
#include <QString>

class UserDefaults;

// The anonymous identity of this installation ("installID"): a random
// upper-case UUID made the first time it is asked for, then kept for ever.
QString currentInstallID(UserDefaults& defaults);

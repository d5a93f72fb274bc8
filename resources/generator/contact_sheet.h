// A picture of every file the generator wrote, for people to look at: each set shown as
// the main window would assemble it, then every picture on its own, all scaled up.
#pragma once

#include <QDir>
#include <QString>

namespace murmel::artwork {

bool WriteContactSheet(const QDir& dir, const QString& path);

}  // namespace murmel::artwork

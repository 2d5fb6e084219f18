#pragma once
// The ten category pictures of the server tree (16 x 16 logical pixels,
// drawn for 1x and 2x screens), indexed by category number.
#include <QIcon>
#include <QPixmap>

// Picture of category `category` (0..9); a null icon outside that range.
QIcon categoryIcon(int category);
// The picture rendered for a device pixel ratio (used by hand-drawn rows).
QPixmap categoryPixmap(int category, qreal devicePixelRatio);
// The application icon (the catalogue globe, at several sizes).
QIcon applicationIcon();

// The small pictures of the search bar's flat buttons and its 48 x 48 emblem, drawn in code so
// that the program ships no image files.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vellumark {

enum class ButtonPicture { kFind, kNext, kShowMore, kIndex, kHelp };

QIcon ButtonIcon(ButtonPicture picture);
QPixmap Emblem(int size = 48);

}  // namespace vellumark

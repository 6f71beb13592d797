#include "ui/qt/app_icon.h"

#include <QPixmap>

namespace orlune::qt {

namespace {

// Colours from the 16-colour palette only.
const char* const kIconXpm[] = {"32 32 10 1",
                                ". c None",
                                "B c #0000FF",
                                "G c #008000",
                                "R c #FF0000",
                                "g c #808080",
                                "k c #000000",
                                "r c #800000",
                                "s c #C0C0C0",
                                "w c #FFFFFF",
                                "y c #FFFF00",
                                "................................",
                                "...kkkkkkkkkkkkkkkkkkkkkkk......",
                                "...kwwwwwwwwwwwwwwwwwwwwwk......",
                                "...kwwwwwwwwwwwwwwwwwwwwwkgg....",
                                "...kwwwwwwwwwwwwwwwwwwwwwkgg....",
                                "...kwwswwwswwwswwwswwwswwkgg....",
                                "...kwBBwwwwwwwwwwwwwwwwwwkgg....",
                                "...kwBBwwwwwwwwwwwwwwwwwwkgg....",
                                "...kwBBwwwwwwwwwwwwwwwwwwkgg....",
                                "...kwBBwwwswwwswwwswwwswwkgg....",
                                "...kwBBwwwwwwwwwrrrrrrrwwkgg....",
                                "...kwBBwwwwwwwwwrRRRRRRrwkgg....",
                                "...kwBBwwwwwwwwwrRRRRRRRrkgg....",
                                "...kwBBwwwswwwswrRRyyyRRRrgg....",
                                "...kwBBBBBBBBBBBrRRyRyRRRRrg....",
                                "...kwBBBBBBBBBBBrRRyRyRRRRrg....",
                                "...kwwwwwwwwwwwwrRRyyyRRRrgg....",
                                "...kwwswwwsGGwswrRRRRRRRrkgg....",
                                "...kwwwwwwwGGwwwrRRRRRRrwkgg....",
                                "...kwwwwwwwGGwwwrrrrrrrwwkgg....",
                                "...kwwwwwwwGGwwwwwwwwwwwwkgg....",
                                "...kwwswwwsGGwswwwswwwswwkgg....",
                                "...kwGGGGGGGGwwwwwwwwwwwwkgg....",
                                "...kwGGGGGGGGwwwwwwwwwwwwkgg....",
                                "...kwwwwwwwwwwwwwwwwwwwwwkgg....",
                                "...kwwswwwswwwswwwswwwswwkgg....",
                                "...kwwwwwwwwwwwwwwwwwwwwwkgg....",
                                "...kkkkkkkkkkkkkkkkkkkkkkkgg....",
                                ".....ggggggggggggggggggggggg....",
                                ".....ggggggggggggggggggggggg....",
                                "................................",
                                "................................"};

}  // namespace

QIcon appIcon() {
    return QIcon(QPixmap(kIconXpm));
}

}  // namespace orlune::qt

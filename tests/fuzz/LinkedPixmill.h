#pragma once
// Fuzz targets link the image library directly instead of loading it by
// name; this fills the binding's table with the linked entry points.

#include "app/imaging/PixmillBinding.h"

inline void BindLinkedPixmill() {
    Pixmill.OpenDib = OpenDib;
    Pixmill.deldib = deldib;
    Pixmill.SaveDib = SaveDib;
    Pixmill.SaveDibToMemory = SaveDibToMemory;
    Pixmill.FreeDibMemoryBlock = FreeDibMemoryBlock;
    Pixmill.newdib = newdib;
    Pixmill.getpixel = getpixel;
    Pixmill.setpixel = setpixel;
}

#ifndef QOX_FORMATS_DXF_KQOXDXFCOLOR_H
#define QOX_FORMATS_DXF_KQOXDXFCOLOR_H

// DXF colour numbers (1 to 255) and RGB colours, both ways.

namespace qoxsdk_600 {

// Writes red, green and blue (0..1) for colour numbers 1 to 255 and returns
// true; any other number writes nothing and returns false.
bool DxfColorToRgb(int number, double rgb[3]);

// The colour number (1 to 255) nearest in hue, value and saturation to an
// RGB colour whose components lie within 0..1.
int DxfColorFromRgb(double red, double green, double blue);

} // namespace qoxsdk_600

#endif

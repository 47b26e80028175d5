#ifndef QOX_PLUGIN_EXPORT_KLAYERMAPPING_H
#define QOX_PLUGIN_EXPORT_KLAYERMAPPING_H

// KLayerMapping: while the export walks one geometry, which textures each
// layer uses and how often, and the mapping modes its material and texture
// layer elements get.
//
// A (layer, texture) pair is kept as one 32-bit key: layer * 1024 + texture
// for a texture of 0 or more, the texture itself when negative (so every
// negative texture gives the same key). Textures of 1024 and more would run
// into the next layer's keys and are refused.

#include "base/karray.h"
#include "host/zbase.h"
#include "scene/attributes/kqoxlayer.h"

class KLayerMapping
{
public:
    typedef qoxsdk_600::KQoxLayerElement::EMappingMode EMappingMode;

    static const int kMaxTexture = 1023;

    KLayerMapping(int polygonCount, EMappingMode uniformTexture, EMappingMode perPolygonTexture, EMappingMode material);

    // Records one use of the texture on the layer: a new key is appended with
    // a repeat count of 0 and the object; a known key's count goes up by one.
    // A texture above kMaxTexture is refused (false, nothing changes).
    bool AddData(int layer, int texture, ZObject& object);

    // The texture of a key: the key itself when below 1, else its low ten bits.
    static int TextureOfKey(unsigned int key) { return static_cast<int>(key) < 1 ? static_cast<int>(key) : key & 1023; }

    EMappingMode uniformTextureMapping;
    EMappingMode perPolygonTextureMapping;
    EMappingMode materialMapping;
    int polygonCount;
    ZObject hostObject;
    bool hasData;
    KArrayTemplate<unsigned int> layers;
    KArrayTemplate<unsigned int> keys;
    KArrayTemplate<int> repeats;
    ZObjectArray objects;
    int materialIndex;
};

#endif

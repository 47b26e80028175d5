#include "plugin/export/klayermapping.h"

KLayerMapping::KLayerMapping(int count, EMappingMode uniformTexture, EMappingMode perPolygonTexture,
                             EMappingMode material)
    : uniformTextureMapping(uniformTexture)
    , perPolygonTextureMapping(perPolygonTexture)
    , materialMapping(material)
    , polygonCount(count)
    , hasData(false)
    , layers(16)
    , keys(16)
    , repeats(16)
    , materialIndex(-1)
{}

bool KLayerMapping::AddData(int layer, int texture, ZObject& object)
{
    if (texture > kMaxTexture)
        return false;
    hasData = true;
    const unsigned int layerKey = static_cast<unsigned int>(layer);
    if (layers.FindAfter(-1, layerKey) == -1)
        layers.Add(layerKey);
    const unsigned int key =
        texture < 0 ? static_cast<unsigned int>(texture) : (layerKey << 10) + static_cast<unsigned int>(texture);
    const int found = keys.FindAfter(-1, key);
    if (found >= 0)
    {
        repeats[found] += 1;
        return true;
    }
    keys.Add(key);
    repeats.Add(0);
    objects.append(object);
    return true;
}

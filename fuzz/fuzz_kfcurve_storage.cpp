// libFuzzer target: any bytes opened as a native file, with a curve read
// (every key layout, every repair) from each list that holds a "Default" field.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/kqox.h"
#include "fcurve/kfcurve.h"

namespace {

void ReadCurves(KQox& f, int depth)
{
    if (KFCurve* curve = KFCurveCreate(&f, depth % 2 == 0, true))
        curve->Destroy();
    int count = f.FieldReadGetRecordCount();
    for (int i = 0; i < count && depth < 16; ++i)
    {
        bool section = false;
        const char* text = f.FieldReadGetRecordName(i, &section);
        if (!text)
            break;
        std::string name = text;
        if (section)
        {
            if (f.ProjectReadSectionBegin(name.c_str()))
            {
                ReadCurves(f, depth + 1);
                f.ProjectReadSectionEnd();
            }
        }
        else if (f.FieldReadBegin(name.c_str()))
        {
            if (f.FieldReadBlockBegin())
            {
                ReadCurves(f, depth + 1);
                f.FieldReadBlockEnd();
            }
            f.FieldReadEnd();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 22))
        return 0;
    KQox f;
    if (f.ProjectOpen(data, static_cast<unsigned int>(size), "", false))
        ReadCurves(f, 0);
    return 0;
}

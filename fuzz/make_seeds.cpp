// Writes small valid files of every form into a directory, as seeds for the
// fuzz targets: make_seeds <directory>.

#include <cstdio>
#include <string>
#include <vector>

#include "base/kqox.h"

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    const KQox::EForm forms[] = {KQox::eBINARY, KQox::eASCII, KQox::eENCRYPTED};
    const char* names[] = {"binary.qox", "ascii.qox", "encrypted.qox"};
    for (int k = 0; k < 3; ++k)
    {
        std::vector<unsigned char> image(1 << 14);
        KQox f;
        f.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), forms[k]);
        f.FieldWriteBegin("Creator");
        f.FieldWriteC("seed");
        f.FieldWriteEnd();
        f.ProjectWriteSectionBegin("Takes", k == 1 ? 2000 : 6000);
        f.FieldWriteBegin("Channel");
        f.FieldWriteC("T");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Default");
        f.FieldWriteD(1.0);
        f.FieldWriteEnd();
        f.FieldWriteBegin("KeyVer");
        f.FieldWriteI(4004);
        f.FieldWriteEnd();
        f.FieldWriteBegin("KeyCount");
        f.FieldWriteI(3);
        f.FieldWriteEnd();
        f.FieldWriteBegin("Key");
        const char* letters[] = {"Us", "Ua", "Ct"};
        for (int i = 0; i < 3; ++i)
        {
            f.FieldWriteT(KTime(i * 46186158000LL));
            f.FieldWriteD(i * 0.5);
            f.FieldWriteCH(letters[i][0]);
            f.FieldWriteCH(letters[i][1]);
            if (i == 0)
            {
                f.FieldWriteD(0.5);
                f.FieldWriteD(-0.5);
                f.FieldWriteCH('a');
                f.FieldWriteD(0.2);
                f.FieldWriteD(0.3);
            }
        }
        f.FieldWriteEnd();
        f.FieldWriteBegin("Pre-Extrapolation");
        f.FieldWriteBlockBegin();
        f.FieldWriteBegin("Type");
        f.FieldWriteCH('R');
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBlockEnd();
        f.FieldWriteEnd();
        f.FieldWriteBegin("Media");
        f.FieldWriteR("raw bytes", 9);
        f.FieldWriteL(-1);
        f.FieldWriteF(2.5f);
        f.FieldWriteEnd();
        f.ProjectWriteSectionEnd();
        if (!f.ProjectClose())
            return 1;
        std::string path = std::string(argv[1]) + "/" + names[k];
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out)
            return 1;
        std::fwrite(image.data(), 1, static_cast<size_t>(f.ProjectGetFileSize()), out);
        std::fclose(out);
    }
    return 0;
}

// Writes the layered scene of earlier_files_util.h in every native form, then
// reads each file back and lists what the read gives (layers.txt, the same
// for every form). It was built and run against earlier versions of the SDK
// (commit 7b1322a, which leaves a layer id of 0 out of the file, and
// 2310fcb) to keep files those versions wrote; it is not part of the build.
// Built with tests/fileio on the include path and linked with the SDK's
// libraries, it writes into the working folder.
#include <cstdio>
#include <fstream>

#include "earlier_files_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"

using namespace earlierfiles;

int main()
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    if (!BuildEarlierScene(manager, scene))
    {
        std::fprintf(stderr, "scene not built\n");
        return 1;
    }
    std::string listed;
    for (const EarlierForm& form : kEarlierForms)
    {
        KQoxExporter exporter(manager);
        exporter.Initialize(form.mFile);
        exporter.SetFileFormat(form.mExport);
        exporter.SetPassword(form.mPassword);
        if (!exporter.Export(scene))
        {
            std::fprintf(stderr, "%s: %s\n", form.mFile, exporter.GetLastErrorString());
            return 1;
        }
        KQoxScene read(manager);
        KQoxImporter importer(manager);
        importer.SetPassword(form.mPassword);
        if (!importer.Initialize(form.mFile) || !importer.Import(read))
        {
            std::fprintf(stderr, "%s read: %s\n", form.mFile, importer.GetLastErrorString());
            return 1;
        }
        const std::string listing = ListScene(read);
        if (listed.empty())
            listed = listing;
        else if (listing != listed)
        {
            std::fprintf(stderr, "%s reads otherwise than %s\n", form.mFile, kEarlierForms[0].mFile);
            return 1;
        }
    }
    std::ofstream("layers.txt") << listed;
    return 0;
}

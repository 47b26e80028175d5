// convert: reads a scene file of any format the SDK reads and writes it in
// the format named by the output file's extension (".obj", ".3ds", ".dxf";
// anything else gives a binary QOX file).
//
//   convert <input file> <output file>
//
// Failures are reported with the importer's or exporter's error text; the
// exit status is then 1. What the read or the save left out or changed (its
// message: entities a reader skips, textures not found) goes to standard
// error too, each line after the name of its file; it changes no exit status.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/kfilecause.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

bool SameLetters(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// The exporter format for the output file's extension.
int ExportFormatFor(const char* fileName)
{
    const char* dot = std::strrchr(fileName, '.');
    const char* ext = dot ? dot + 1 : "";
    struct Entry
    {
        const char* extension;
        int format;
    };
    static const Entry kFormats[] = {{"obj", eEXPORT_OBJ}, {"3ds", eEXPORT_3DS}, {"dxf", eEXPORT_DXF}};
    for (const Entry& entry : kFormats)
        if (SameLetters(ext, entry.extension))
            return entry.format;
    return eEXPORT_QOX_BINARY;
}

int Fail(const char* what, const char* fileName, const char* reason)
{
    std::fprintf(stderr, "convert: %s %s: %s\n", what, KEscapeControls(fileName).c_str(),
                 KEscapeControls(reason).c_str());
    return 1;
}

// Prints a read's or save's message, line by line, after the file's name:
// no empty line, and the control characters of a name shown escaped.
void PrintMessage(const char* fileName, const KString& message)
{
    const std::string name = KEscapeControls(fileName);
    const char* line = message.ToChars();
    while (*line)
    {
        const char* end = std::strchr(line, '\n');
        const size_t length = end ? static_cast<size_t>(end - line) : std::strlen(line);
        if (length > 0)
            std::fprintf(stderr, "convert: %s: %s\n", name.c_str(),
                         KEscapeControls(std::string_view(line, length)).c_str());
        line += end ? length + 1 : length;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: convert <input file> <output file>\n");
        return 2;
    }
    const char* input = argv[1];
    const char* output = argv[2];

    // The foreign formats join the importer and exporter once.
    KQoxRegisterGeometryFormats();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    if (!manager)
        return Fail("cannot start the SDK for", input, "no manager");
    KQoxScene* scene = manager->CreateKQoxScene();

    // The manager owns the importer and the exporter and destroys them with itself.
    KQoxImporter* importerObject = manager->CreateKQoxImporter();
    if (!importerObject)
        return Fail("cannot start the SDK for", input, "no importer");
    KQoxImporter& importer = *importerObject;
    if (!importer.Initialize(input))
        return Fail("cannot open", input, importer.GetLastErrorString());
    // Native files are read with every take; the others need their reader's options.
    bool native = importer.GetFileFormat() <= eIMPORT_QOX_ENCRYPTED;
    std::unique_ptr<KStreamOptions> importOptions(native ? nullptr : importer.GetImportOptions());
    const bool read = importer.Import(*scene, importOptions.get());
    KString message;
    importer.GetMessage(message);
    PrintMessage(input, message);
    if (!read)
        return Fail("cannot read", input, importer.GetLastErrorString());

    KQoxExporter* exporterObject = manager->CreateKQoxExporter();
    if (!exporterObject)
        return Fail("cannot start the SDK for", output, "no exporter");
    KQoxExporter& exporter = *exporterObject;
    if (!exporter.Initialize(output) || !exporter.SetFileFormat(ExportFormatFor(output)))
        return Fail("cannot write", output, exporter.GetLastErrorString());
    std::unique_ptr<KStreamOptions> exportOptions(exporter.GetExportOptions());
    if (!exportOptions)
        return Fail("cannot write", output, exporter.GetLastErrorString());
    const bool written = exporter.Export(*scene, exportOptions.get());
    exporter.GetMessage(message);
    PrintMessage(output, message);
    if (!written)
        return Fail("cannot write", output, exporter.GetLastErrorString());

    std::printf("%s -> %s (%s)\n", input, output, KQoxIORegistry::GetWriterDescription(exporter.GetFileFormat()));
    return 0;
}

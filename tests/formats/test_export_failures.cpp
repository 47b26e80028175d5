// Exports that fail (a full disk, a material library that cannot be made, no
// file descriptor left) leave the old files byte-identical and nothing of
// their own, and say why where the user can act on it; material libraries
// are named so that other OBJ readers take the name whole.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/qox_test_files.h"
#include "export_test_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/3ds/kqoxwriter3ds.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxgeometryformats.h"
#include "obj_test_util.h"

#ifdef QOX_HAVE_TINYOBJ
#include <tiny_obj_loader.h>
#endif

using namespace objtest;
using qoxtest::ListDirectory;
using qoxtest::ReadFile;
using qoxtest::TempDir;
using qoxtest::WriteFile;

namespace {

using Scene = exporttest::QuadScene;

// Exports through the registry in the given format; the exporter's error
// text in error (empty on success).
bool Export(Scene& s, const std::string& path, int format, std::string& error)
{
    return exporttest::ExportScene(s, path, format, error);
}

using Files = std::map<std::string, std::string>;

// Every file of a directory with its bytes.
Files Snapshot(const TempDir& dir)
{
    Files files;
    for (const std::string& name : ListDirectory(dir.Path()))
        files[name] = ReadFile(dir.File(name));
    return files;
}

// The same names with the same bytes; a difference is told by name and size
// (the files may be megabytes long).
::testing::AssertionResult SameFiles(const Files& expected, const Files& actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    auto describe = [](const Files& files) {
        std::string text;
        for (const auto& [name, bytes] : files)
            text += " " + name + " (" + std::to_string(bytes.size()) + " bytes)";
        return text;
    };
    return ::testing::AssertionFailure() << "expected" << describe(expected) << ", found" << describe(actual);
}

// A small scene exported as scene.<extension>, then a large one (40,000
// quads in each of four meshes) to the same name on a disk that holds only
// 5 MB: the export fails with "Out of disk space" and the directory is as
// the first export left it. Without the limit the large scene replaces it.
void FullDiskKeepsTheOldFiles(int format, const char* extension, const std::vector<std::string>& expected)
{
    TempDir dir;
    const std::string path = dir.File(std::string("scene.") + extension);
    Scene small, large;
    small.AddQuads("Small", 1);
    for (const char* name : {"A", "B", "C", "D"})
        large.AddQuads(name, 40000);
    std::string error;
    ASSERT_TRUE(Export(small, path, format, error)) << error;
    const auto before = Snapshot(dir);
    ASSERT_EQ(ListDirectory(dir.Path()), expected);
    {
        qoxtest::FileSizeLimit full(5 << 20);
        ASSERT_TRUE(full.Active());
        EXPECT_FALSE(Export(large, path, format, error));
    }
    EXPECT_EQ(error, "Out of disk space");
    EXPECT_TRUE(SameFiles(before, Snapshot(dir))); // the same names, byte-identical
    ASSERT_TRUE(Export(large, path, format, error)) << error;
    EXPECT_EQ(ListDirectory(dir.Path()), expected);
    EXPECT_GT(ReadFile(path).size(), size_t(5 << 20));
}

const int kObj = eEXPORT_OBJ, kDxf = eEXPORT_DXF, k3ds = eEXPORT_3DS;

} // namespace

TEST(ExportFailures, FullDiskKeepsTheOldObjAndItsLibrary)
{
    FullDiskKeepsTheOldFiles(kObj, "obj", {"scene.mtl", "scene.obj"});
}

TEST(ExportFailures, FullDiskKeepsTheOldDxf)
{
    FullDiskKeepsTheOldFiles(kDxf, "dxf", {"scene.dxf"});
}

TEST(ExportFailures, FullDiskKeepsTheOld3ds)
{
    FullDiskKeepsTheOldFiles(k3ds, "3ds", {"scene.3ds"});
}

TEST(ExportFailures, ImagesThatDoNotFitFailTheExport)
{
    // The old files hold no image; the new export copies one that the disk
    // cannot hold, so nothing of the export may stay.
    TempDir images;
    const std::string image = images.File("brick.tif");
    ASSERT_TRUE(WriteFile(image, std::string(300000, 'b')));
    for (const auto& [format, name] : {std::pair<int, const char*>{kObj, "scene.obj"}, {k3ds, "scene.3ds"}})
    {
        TempDir dir;
        Scene plain, textured;
        plain.AddQuads("Plain", 2);
        textured.AddQuads("Wall", 2, image.c_str());
        std::string error;
        ASSERT_TRUE(Export(plain, dir.File(name), format, error)) << error;
        const auto before = Snapshot(dir);
        {
            qoxtest::FileSizeLimit full(100000);
            EXPECT_FALSE(Export(textured, dir.File(name), format, error)) << name;
        }
        EXPECT_EQ(error, "Out of disk space") << name;
        EXPECT_TRUE(SameFiles(before, Snapshot(dir))) << name;
        // With room the image comes along.
        ASSERT_TRUE(Export(textured, dir.File(name), format, error)) << error;
        EXPECT_EQ(ReadFile(dir.File("brick.tif")), ReadFile(image)) << name;
    }
}

TEST(ExportFailures, ObjFailsWhenItsLibraryPathIsADirectory)
{
    TempDir dir;
    Scene s;
    s.AddQuads("Box", 1);
    ASSERT_TRUE(WriteFile(dir.File("scene.obj"), "old scene"));
    ASSERT_EQ(mkdir(dir.File("scene.mtl").c_str(), 0755), 0);
    std::string error;
    EXPECT_FALSE(Export(s, dir.File("scene.obj"), kObj, error));
    EXPECT_EQ(error, "File not created: the target is a directory");
    EXPECT_EQ(ReadFile(dir.File("scene.obj")), "old scene");
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("scene.mtl")));
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"scene.mtl", "scene.obj"}));
}

TEST(ExportFailures, ANameTooLongIsToldInEveryForm)
{
    // A name of more characters than a folder entry holds: nothing is made.
    TempDir dir;
    for (const exporttest::Form& form : exporttest::kForms)
    {
        std::string error;
        EXPECT_FALSE(
            exporttest::ExportQuads(1, dir.File(std::string(300, 'n') + "." + form.extension), form.format, error));
        EXPECT_EQ(error, "File not created: the name is too long") << form.format;
        EXPECT_TRUE(ListDirectory(dir.Path()).empty()) << form.format;
    }
}

TEST(ExportFailures, ObjFailsWhenItsLibraryIsReadOnly)
{
    TempDir dir;
    chmod(dir.Path().c_str(), 0777);
    const std::string obj = dir.File("scene.obj"), mtl = dir.File("scene.mtl");
    ASSERT_TRUE(WriteFile(obj, "old scene"));
    ASSERT_TRUE(WriteFile(mtl, "newmtl Old\n"));
    chmod(obj.c_str(), 0666);
    chmod(mtl.c_str(), 0444);
    // As a user the permissions bind (root's are dropped in the child).
    const int result = qoxtest::RunAsUnprivilegedChild([&] {
        Scene s;
        s.AddQuads("Box", 1);
        std::string error;
        if (Export(s, obj, kObj, error))
            return 1;
        return error == "File not created: the file is read-only" ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(obj), "old scene");
    EXPECT_EQ(ReadFile(mtl), "newmtl Old\n");
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"scene.mtl", "scene.obj"}));
}

// With no descriptor to spare while the OBJ is written, the file staged
// before is parked to make its material library, and the library is handed
// to the writer through the descriptor that made it.
TEST(ExportFailures, ObjMakesItsLibraryWithoutADescriptorToSpare)
{
    TempDir dir;
    Scene s;
    s.AddQuads("Box", 1);
    ASSERT_TRUE(WriteFile(dir.File("scene.obj"), "old scene"));
    ASSERT_TRUE(WriteFile(dir.File("scene.mtl"), "old library"));
    TempDir other;
    {
        // One export first, elsewhere: the undefined-behaviour sanitizer
        // checks a call's object type through a pipe the first time it meets
        // it, which needs descriptors this test takes away.
        KQoxWriterObj writer(*s.manager);
        ASSERT_TRUE(writer.FileCreate(other.File("scene.obj").c_str()));
        std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
        ASSERT_TRUE(writer.Write(s.scene, options.get()));
        ASSERT_TRUE(writer.FileClose());
    }
    {
        KQoxWriterObj writer(*s.manager);
        ASSERT_TRUE(writer.FileCreate(dir.File("scene.obj").c_str()));
        std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
        bool written;
        {
            qoxtest::NoFreeDescriptor none;
            if (!none.Active())
                GTEST_SKIP() << "the descriptor limit cannot be lowered here";
            written = writer.Write(s.scene, options.get());
        }
        EXPECT_TRUE(written) << writer.GetLastErrorString();
        EXPECT_TRUE(writer.FileClose()) << writer.GetLastErrorString();
    }
    EXPECT_EQ(ReadFile(dir.File("scene.obj")), ReadFile(other.File("scene.obj")));
    EXPECT_EQ(ReadFile(dir.File("scene.mtl")), ReadFile(other.File("scene.mtl")));
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"scene.mtl", "scene.obj"}));
}

// An OBJ that copies more images than a process may hold descriptors (600
// under the usual soft limit of 1,024; 300 under a limit of 16) is saved
// whole: the save holds a few descriptors at a time, not one or two per file.
TEST(ExportFailures, AnObjWithMoreImagesThanDescriptorsIsSaved)
{
    struct Case
    {
        int images;
        int free; // descriptors to spare beside the three standard streams
    };
    for (const Case c : {Case{600, 1024 - 3}, Case{300, 16 - 3}})
    {
        SCOPED_TRACE(std::to_string(c.images) + " images, " + std::to_string(c.free) + " descriptors to spare");
        TempDir images, dir, warm;
        Scene s;
        for (int i = 0; i < c.images; ++i)
        {
            const std::string name = "Mesh" + std::to_string(i);
            const std::string image = images.File("image" + std::to_string(i) + ".tif");
            ASSERT_TRUE(WriteFile(image, "pixels of " + name));
            s.AddQuads(name.c_str(), 1, image.c_str());
        }
        ASSERT_TRUE(WriteFile(dir.File("scene.obj"), "old scene"));
        ASSERT_TRUE(WriteFile(dir.File("scene.mtl"), "old library"));
        std::string error;
        ASSERT_TRUE(Export(s, warm.File("scene.obj"), kObj, error)) << error; // see below
        error = qoxtest::RunWithFreeDescriptors(c.free, [&] {
            std::string text;
            return Export(s, dir.File("scene.obj"), kObj, text) ? std::string() : "failed: " + text;
        });
        EXPECT_EQ(error, "");
        EXPECT_TRUE(ReadFile(dir.File("scene.obj")) == ReadFile(warm.File("scene.obj")));
        EXPECT_TRUE(ReadFile(dir.File("scene.mtl")) == ReadFile(warm.File("scene.mtl")));
        for (int i = 0; i < c.images; ++i)
            ASSERT_EQ(ReadFile(dir.File("image" + std::to_string(i) + ".tif")), "pixels of Mesh" + std::to_string(i))
                << "image " << i;
        EXPECT_EQ(ListDirectory(dir.Path()).size(), static_cast<size_t>(c.images + 2)); // no temporary left
    }
}

// Saves that copy images with a few descriptors to spare (limits of 5 to 8
// for a process with only its standard streams open): each saves every
// image, or fails naming its cause with the old files byte-identical. Never
// is an image that is there blamed, nor a save without its images reported
// as done. (A 3DS saves from 3 to spare on, an OBJ from 5.)
TEST(ExportFailures, ImagesCopiedShortOfDescriptorsAreSavedOrTheSaveFails)
{
    struct Form
    {
        int format;
        const char* name;
        std::vector<std::string> old; // files there before
    };
    const Form forms[] = {{kObj, "scene.obj", {"scene.obj", "scene.mtl", "image7.tif"}},
                          {k3ds, "scene.3ds", {"scene.3ds", "image7.tif"}}};
    const int images = 60;
    for (const Form& form : forms)
        for (const int free : {2, 3, 4, 5})
        {
            SCOPED_TRACE(std::string(form.name) + ", " + std::to_string(free) + " to spare");
            TempDir source, dir, warm;
            Scene s;
            for (int i = 0; i < images; ++i)
            {
                const std::string name = "Mesh" + std::to_string(i);
                const std::string image = source.File("image" + std::to_string(i) + ".tif");
                ASSERT_TRUE(WriteFile(image, "pixels of " + name));
                s.AddQuads(name.c_str(), 1, image.c_str());
            }
            // The same files in both folders: image7.tif of other bytes is
            // kept, and the copy of that image numbered, in each.
            for (const std::string& old : form.old)
            {
                ASSERT_TRUE(WriteFile(dir.File(old), "old " + old));
                ASSERT_TRUE(WriteFile(warm.File(old), "old " + old));
            }
            const auto before = Snapshot(dir);
            std::string error;
            ASSERT_TRUE(Export(s, warm.File(form.name), form.format, error)) << error; // see above
            const std::string outcome = qoxtest::RunWithFreeDescriptors(free, [&] {
                KQoxRegisterGeometryFormats();
                KQoxExporter exporter(*s.manager);
                if (!exporter.Initialize(dir.File(form.name).c_str()) || !exporter.SetFileFormat(form.format))
                    return std::string("not initialized");
                std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
                const bool ok = exporter.Export(s.scene, options.get());
                KString message;
                exporter.GetMessage(message);
                return (ok ? std::string() : std::string("failed: ") + exporter.GetLastErrorString()) +
                       (message.IsEmpty() ? "" : std::string(" message: ") + message.ToChars());
            });
            // A save names the numbered copy, and says nothing else.
            const std::string saved = std::string(" message: Texture name \"image7-1.tif\" in material \"") +
                                      (form.format == kObj ? "Mesh7Paint" : "8.Mat0T0") +
                                      "\" names its copy of \"" + source.File("image7.tif") + "\"\n\n";
            std::printf("%s, %d to spare: %s\n", form.name, free, outcome == saved ? "saved" : outcome.c_str());
            if (outcome == saved)
            {
                EXPECT_TRUE(ReadFile(dir.File(form.name)) == ReadFile(warm.File(form.name)));
                for (int i = 0; i < images; ++i)
                    ASSERT_EQ(ReadFile(dir.File("image" + std::to_string(i) + (i == 7 ? "-1.tif" : ".tif"))),
                              "pixels of Mesh" + std::to_string(i))
                        << "image " << i;
                EXPECT_EQ(ReadFile(dir.File("image7.tif")), "old image7.tif");
                EXPECT_EQ(ListDirectory(dir.Path()).size(), ListDirectory(warm.Path()).size()); // no temporary
            }
            else
            {
                EXPECT_EQ(outcome, "failed: File not created: too many files are open");
                EXPECT_TRUE(SameFiles(before, Snapshot(dir))); // no temporary, the old files as they were
            }
        }
}

// Saves with one or two descriptors to spare (limits of 4 and 5 for a process
// with only its three standard streams open). The commit's lock takes one
// and each step of the commit one more at a time, so with two every form
// saves; with one a save may fail, naming its cause. Either way no temporary
// stays, and a failed save leaves the old files.
TEST(ExportFailures, SavesWithOneOrTwoDescriptorsToSpare)
{
    struct Form
    {
        int format;
        const char* name;
    };
    const Form forms[] = {{eEXPORT_QOX_BINARY, "scene.qox"},
                          {eEXPORT_QOX_ASCII, "scene.qox"},
                          {k3ds, "scene.3ds"},
                          {kDxf, "scene.dxf"},
                          {kObj, "scene.obj"}};
    for (const Form& form : forms)
        for (const int free : {1, 2})
        {
            SCOPED_TRACE(std::string(form.name) + " form " + std::to_string(form.format) + ", " + std::to_string(free) +
                         " to spare");
            TempDir dir, warm;
            Scene s;
            s.AddQuads("Box", 3);
            const bool obj = form.format == kObj;
            ASSERT_TRUE(WriteFile(dir.File(form.name), "old scene"));
            if (obj)
            {
                ASSERT_TRUE(WriteFile(dir.File("scene.mtl"), "old library"));
            }
            const auto before = Snapshot(dir);
            // The first export of a form runs first with all descriptors: the
            // undefined-behaviour sanitizer checks a type through a pipe the
            // first time it meets it.
            std::string error;
            ASSERT_TRUE(Export(s, warm.File(form.name), form.format, error)) << error;
            error = qoxtest::RunWithFreeDescriptors(free, [&] {
                std::string text;
                return Export(s, dir.File(form.name), form.format, text) ? std::string() : "failed: " + text;
            });
            std::printf("%s (form %d), %d to spare: %s\n", form.name, form.format, free,
                        error.empty() ? "saved" : error.c_str());
            if (error.empty())
            {
                EXPECT_TRUE(ReadFile(dir.File(form.name)) == ReadFile(warm.File(form.name)));
                if (obj)
                {
                    EXPECT_TRUE(ReadFile(dir.File("scene.mtl")) == ReadFile(warm.File("scene.mtl")));
                }
            }
            else
            {
                // A native, 3DS or DXF save needs one descriptor to spare
                // (its turn is then the process's alone); an OBJ with its
                // library two.
                EXPECT_TRUE(free == 1 && obj) << error;
                EXPECT_EQ(error, "failed: File not created: too many files are open");
                EXPECT_TRUE(SameFiles(before, Snapshot(dir)));
            }
            EXPECT_EQ(ListDirectory(dir.Path()).size(), before.size()); // no temporary
        }
}

TEST(ExportFailures, WritersDroppedBeforeClosingLeaveTheTargets)
{
    TempDir dir;
    Scene s;
    s.AddQuads("Box", 1);
    for (const char* name : {"scene.obj", "scene.dxf"})
        ASSERT_TRUE(WriteFile(dir.File(name), "old"));
    const auto before = Snapshot(dir);
    {
        KQoxWriterObj obj(*s.manager);
        ASSERT_TRUE(obj.FileCreate(dir.File("scene.obj").c_str()));
        std::unique_ptr<KStreamOptions> options(obj.GetWriteOptions());
        ASSERT_TRUE(obj.Write(s.scene, options.get()));
        KQoxWriterDxf dxf(*s.manager);
        ASSERT_TRUE(dxf.FileCreate(dir.File("scene.dxf").c_str()));
        std::unique_ptr<KStreamOptions> dxfOptions(dxf.GetWriteOptions());
        ASSERT_TRUE(dxf.Write(s.scene, dxfOptions.get()));
        EXPECT_EQ(ListDirectory(dir.Path()).size(), 5u); // three temporaries beside the targets
    }
    EXPECT_TRUE(SameFiles(before, Snapshot(dir)));
}

TEST(ExportFailures, AFifoIsWrittenInPlace)
{
    // The OBJ text streams to the FIFO's reader, and the FIFO stays.
    TempDir dir;
    const std::string fifo = dir.File("pipe.obj");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t reader = fork();
    ASSERT_GE(reader, 0);
    if (reader == 0)
        _exit(WriteFile(dir.File("copy.obj"), ReadFile(fifo)) ? 0 : 1);
    Scene s;
    s.AddQuads("Box", 1);
    std::string error;
    const bool written = Export(s, fifo, kObj, error);
    int status = 0;
    ASSERT_EQ(waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(written) << error;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat kind;
    ASSERT_EQ(lstat(fifo.c_str(), &kind), 0);
    EXPECT_TRUE(S_ISFIFO(kind.st_mode));
    EXPECT_NE(ReadFile(dir.File("copy.obj")).find("\ng Box\n"), std::string::npos);
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"copy.obj", "pipe.mtl", "pipe.obj"}));
}

TEST(ObjLibraryNames, BlanksInTheNameAreWrittenAsUnderscores)
{
    TempDir dir;
    Scene s;
    s.AddQuads("Box", 1);
    s.AddQuads("Lid", 1);
    std::string error;
    ASSERT_TRUE(Export(s, dir.File("with space.obj"), kObj, error)) << error;
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"with space.obj", "with_space.mtl"}));
    const std::string text = ReadFile(dir.File("with space.obj"));
    EXPECT_NE(text.find("\nmtllib with_space.mtl\n"), std::string::npos) << text;
    ObjRead r(dir.File("with space.obj"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.message, "");
    ASSERT_NE(r.Mesh("Lid"), nullptr);
    EXPECT_STREQ(r.Mesh("Lid")->GM(0, 0)->GetNameWithoutNameSpacePrefix().ToChars(), "LidPaint");
#ifdef QOX_HAVE_TINYOBJ
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, dir.File("with space.obj").c_str(),
                                 (dir.Path() + "/").c_str(), false))
        << err;
    EXPECT_EQ(warn.find("not found"), std::string::npos) << warn;
    ASSERT_EQ(materials.size(), 2u);
    EXPECT_EQ(materials[1].name, "LidPaint");
#else
    GTEST_SKIP() << "tinyobjloader is not installed: the peer's reading is not checked";
#endif
}

TEST(ObjLibraryNames, OldFilesNamingALibraryWithBlanksStillRead)
{
    TempDir dir;
    const std::string library = "newmtl Clay\nKd 0.25 0.5 0.75\n";
    ASSERT_TRUE(WriteFile(dir.File("with space.mtl"), library));
    const std::string faces = "v 0 0 0\nv 1 0 0\nv 0 1 0\ng Tri\nusemtl Clay\nf 1 2 3\n";
    auto r = ReadText(dir, "mtllib with space.mtl\n" + faces, "with space.obj");
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(r->message, "");
    ASSERT_NE(r->Mesh("Tri"), nullptr);
    EXPECT_DOUBLE_EQ(r->Mesh("Tri")->GM(0, 0)->GetDiffuse().mGreen, 0.5);

    // Names that are no file as a whole are read word by word, as before.
    ASSERT_TRUE(WriteFile(dir.File("first.mtl"), "newmtl Stone\nKd 1 0 0\n"));
    ASSERT_TRUE(WriteFile(dir.File("second.mtl"), library));
    auto words = ReadText(dir, "mtllib first.mtl second.mtl\n" + faces, "words.obj");
    ASSERT_TRUE(words->ok);
    EXPECT_EQ(words->message, "");
    EXPECT_DOUBLE_EQ(words->Mesh("Tri")->GM(0, 0)->GetDiffuse().mBlue, 0.75);
}

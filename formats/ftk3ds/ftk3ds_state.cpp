// The toolkit's state of each thread (error flags and stack, open files) and
// the allocation, defaults and release of its records.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <type_traits>
#include <unistd.h>

#include "base/kfile.h"
#include "formats/ftk3ds/ftk3ds_private.h"

namespace ftk3ds {

thread_local ToolkitState gState; // zero-initialised on each thread, no constructor to run

void PushError(long3ds code, const char* format, ...)
{
    // The caller may still need errno, to name the cause of the failure.
    const int error = errno;
    ftkerr3ds = true;
    if (gState.errcount == kMaxErrors)
    {
        // Keep the latest entries: drop the oldest.
        std::memmove(&gState.errlist[0], &gState.errlist[1], sizeof(errrec3ds) * (kMaxErrors - 1));
        --gState.errcount;
    }
    errrec3ds& e = gState.errlist[gState.errcount++];
    e.id = code;
    va_list args;
    va_start(args, format);
    std::vsnprintf(e.desc, sizeof e.desc, format, args);
    va_end(args);
    errno = error;
}

void CopyName(char* dst, size_t cap, const char* src)
{
    size_t n = src ? strnlen(src, cap - 1) : 0;
    if (n)
        std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void* AllocArray(size_t count, size_t itemSize)
{
    if (count == 0)
        return nullptr;
    if (count > SIZE_MAX / itemSize)
        return nullptr;
    void* block = std::calloc(count, itemSize);
    if (block)
        std::memset(block, 0, malloc_usable_size(block)); // the tail too: see ResizeArray
    return block;
}

void* ResizeArray(void* old, size_t newCount, size_t itemSize)
{
    if (newCount == 0)
    {
        std::free(old);
        return nullptr;
    }
    if (newCount > SIZE_MAX / itemSize)
        return nullptr;
    // Every byte of a block past its items is kept zero, so the items a
    // resize adds read as zero whatever the block held before.
    size_t oldUsable = old ? malloc_usable_size(old) : 0;
    void* grown = std::realloc(old, newCount * itemSize);
    if (!grown)
        return nullptr;
    size_t usable = malloc_usable_size(grown);
    size_t from = newCount * itemSize;
    if (oldUsable > from)
        std::memset(static_cast<char*>(grown) + from, 0, usable - from);
    else if (usable > oldUsable)
        std::memset(static_cast<char*>(grown) + oldUsable, 0, usable - oldUsable);
    return grown;
}

} // namespace ftk3ds

using namespace ftk3ds;

namespace {
thread_local bool tError = false;
thread_local bool tIgnoreError = false;
} // namespace

bool* Ftk3dsErrorFlag()
{
    return &tError;
}

bool* Ftk3dsIgnoreErrorFlag()
{
    return &tIgnoreError;
}

int GetErrCount3ds()
{
    return gState.errcount;
}

const errrec3ds* GetErrEntry3ds(int index)
{
    if (index < 0 || index >= gState.errcount)
        return nullptr;
    return &gState.errlist[index];
}

void ClearErrList3ds()
{
    gState.errcount = 0;
    ftkerr3ds = false;
}

void ResetToolkit3ds()
{
    CloseAllFiles3ds();
    ClearErrList3ds();
    ignoreftkerr3ds = false;
}

// ---- Files ----

file3ds* OpenFile3ds(const char* name, const char* mode)
{
    if (!name || !mode || !*name)
    {
        PushError(ERR_INVALID_ARG, "OpenFile3ds: no file name or mode");
        return nullptr;
    }
    std::FILE* fp = std::fopen(name, mode);
    if (!fp)
    {
        PushError(ERR_OPENING_FILE, "Cannot open \"%s\" (%s): %s", name, mode, std::strerror(errno));
        return nullptr;
    }
    file3ds* file = new (std::nothrow) file3ds;
    if (!file)
    {
        std::fclose(fp);
        PushError(ERR_NO_MEM, "OpenFile3ds: out of memory");
        return nullptr;
    }
    file->fp = fp;
    file->name = name;
    file->reading = std::strchr(mode, 'r') || std::strchr(mode, '+');
    file->writing = std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+');
    if (file->reading && !file->writing && GetFileKind(fp) == kFILE_KIND_OTHER)
    {
        // A stream can be read once only, and may never end: read whole now.
        std::shared_ptr<FileImage> image;
        try
        {
            image = std::make_shared<FileImage>();
        }
        catch (const std::bad_alloc&)
        {
            PushError(ERR_NO_MEM, "OpenFile3ds: out of memory");
        }
        if (!image || !LoadStream(fp, file->name, *image))
        {
            std::fclose(fp);
            delete file;
            return nullptr;
        }
        file->stream = std::move(image);
    }
    file->next = gState.openfiles;
    gState.openfiles = file;
    return file;
}

long3ds ReadHead3ds(file3ds* file, void* buffer, ulong3ds size)
{
    if (!file || !buffer)
    {
        errno = EINVAL;
        return -1;
    }
    if (file->stream)
    {
        const size_t count = std::min<size_t>(size, file->stream->size);
        if (count)
            std::memcpy(buffer, file->stream->data, count);
        return static_cast<long3ds>(count);
    }
    size_t count = 0;
    while (count < size)
    {
        const ssize_t got =
            pread(fileno(file->fp), static_cast<char*>(buffer) + count, size - count, static_cast<off_t>(count));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        count += static_cast<size_t>(got);
    }
    return static_cast<long3ds>(count);
}

void CloseFile3ds(file3ds* file)
{
    if (!file)
        return;
    for (file3ds** link = &gState.openfiles; *link; link = &(*link)->next)
        if (*link == file)
        {
            *link = file->next;
            break;
        }
    // fclose flushes what is buffered: its failure means lost data.
    if (std::fclose(file->fp) != 0)
        PushError(ERR_CLOSING_FILE, "Cannot close \"%s\": %s", file->name.c_str(), std::strerror(errno));
    delete file;
}

void CloseAllFiles3ds()
{
    while (gState.openfiles)
        CloseFile3ds(gState.openfiles);
}

// ---- Records ----

namespace {

// Allocates *record when null; false (with ERR_NO_MEM) when that fails.
template <typename T>
bool Allocate(T** record, const char* what)
{
    if (!record)
    {
        PushError(ERR_INVALID_ARG, "%s: null record pointer", what);
        return false;
    }
    if (!*record)
    {
        *record = static_cast<T*>(std::calloc(1, sizeof(T)));
        if (!*record)
        {
            PushError(ERR_NO_MEM, "%s: out of memory", what);
            return false;
        }
    }
    return true;
}

template <typename T>
void Release(T** record)
{
    if (record)
    {
        std::free(*record);
        *record = nullptr;
    }
}

void SetBitmapDefaults(bitmap3ds& map)
{
    std::memset(&map, 0, sizeof map);
    map.tiling = Tile3ds;
    map.uscale = 1.0f;
    map.vscale = 1.0f;
}

void FreeMeshArrays(mesh3ds* mesh)
{
    std::free(mesh->vertexarray);
    std::free(mesh->vflagarray);
    std::free(mesh->textarray);
    std::free(mesh->facearray);
    std::free(mesh->smootharray);
    // Every entry the block holds: entries past `nmats` may still own lists.
    size_t held = mesh->matarray ? malloc_usable_size(mesh->matarray) / sizeof(objmat3ds) : 0;
    for (size_t i = 0; i < held; ++i)
        std::free(mesh->matarray[i].faceindex);
    std::free(mesh->matarray);
}

// Frees a track's arrays and makes `count` zeroed keys and values.
template <typename V>
bool InitTrack(ulong3ds count, ulong3ds* n, keyheader3ds** keys, V** values, const char* what)
{
    std::free(*keys);
    *keys = nullptr;
    *n = 0;
    if (values)
    {
        std::free(*values);
        *values = nullptr;
    }
    *keys = static_cast<keyheader3ds*>(AllocArray(count, sizeof(keyheader3ds)));
    if (values)
        *values = static_cast<V*>(AllocArray(count, sizeof(V)));
    if (!*keys || (values && !*values))
    {
        std::free(*keys);
        *keys = nullptr;
        if (values)
        {
            std::free(*values);
            *values = nullptr;
        }
        PushError(ERR_NO_MEM, "%s: no memory for %lu keys", what, static_cast<unsigned long>(count));
        return false;
    }
    *n = count;
    return true;
}

// Runs the track initialisations in order; stops at the first failure
// unless errors are ignored.
#define FTK_INIT_TRACK(count, n, keys, values, what)                                                                   \
    if ((count) != 0 && !InitTrack((count), &(n), &(keys), (values), (what)) && !ignoreftkerr3ds)                      \
        return;

} // namespace

void InitDatabase3ds(database3ds** db)
{
    if (!db)
    {
        PushError(ERR_INVALID_ARG, "InitDatabase3ds: null database pointer");
        return;
    }
    if (!*db)
    {
        *db = new (std::nothrow) database3ds;
        if (!*db)
            PushError(ERR_NO_MEM, "InitDatabase3ds: out of memory");
        return;
    }
    (*db)->top.reset();
    (*db)->image.reset();
    (*db)->index = Index();
}

void ReleaseDatabase3ds(database3ds** db)
{
    if (!db)
        return;
    delete *db;
    *db = nullptr;
}

void InitMeshSet3ds(meshset3ds** settings)
{
    if (!Allocate(settings, "InitMeshSet3ds"))
        return;
    meshset3ds* s = *settings;
    std::memset(s, 0, sizeof *s);
    s->masterscale = 1.0f;
    s->lowshadowbias = 1.0f;
    s->shadowmapsize = 512;
    s->shadowfilter = 3.0f;
    s->raytracebias = 1.0f;
    s->ambientlight = {0.39216f, 0.39216f, 0.39216f};
}

void ReleaseMeshSet3ds(meshset3ds** settings)
{
    Release(settings);
}

void InitKfSets3ds(kfsets3ds** settings)
{
    if (!Allocate(settings, "InitKfSets3ds"))
        return;
    kfsets3ds* s = *settings;
    std::memset(s, 0, sizeof *s);
    s->animlength = 100;
    s->segend = 100;
}

void ReleaseKfSets3ds(kfsets3ds** settings)
{
    Release(settings);
}

void InitBackground3ds(background3ds** background)
{
    if (!Allocate(background, "InitBackground3ds"))
        return;
    std::memset(*background, 0, sizeof **background);
    (*background)->gradpercent = 0.5f;
}

void ReleaseBackground3ds(background3ds** background)
{
    Release(background);
}

void InitMeshObj3ds(mesh3ds** mesh, ushort3ds vertices, ushort3ds faces, ushort3ds flags)
{
    if (!Allocate(mesh, "InitMeshObj3ds"))
        return;
    mesh3ds* m = *mesh;
    FreeMeshArrays(m);
    std::memset(m, 0, sizeof *m);
    m->locmatrix[0] = m->locmatrix[4] = m->locmatrix[8] = 1.0f;
    m->nvertices = vertices;
    m->nfaces = faces;
    if (flags & InitTextArray3ds)
        m->ntextverts = vertices;
    if (flags & InitVertexFlags3ds)
        m->nvflags = vertices;
    ushort3ds mask =
        InitVertexArray3ds | InitFaceArray3ds | (flags & (InitTextArray3ds | InitSmoothArray3ds | InitVertexFlags3ds));
    InitMeshObjField3ds(m, mask);
}

void InitMeshObjField3ds(mesh3ds* m, ushort3ds mask)
{
    if (!m)
    {
        PushError(ERR_INVALID_ARG, "InitMeshObjField3ds: null mesh");
        return;
    }
    // Resizes one array to `count` items; when that fails the array is kept
    // and `count` drops to 0 so no count promises more than an array holds.
    auto resize = [](auto*& array, ushort3ds& count, const char* what) {
        using T = std::remove_reference_t<decltype(*array)>;
        void* grown = ResizeArray(array, count, sizeof(T));
        if (count && !grown)
        {
            std::free(array);
            array = nullptr;
            count = 0;
            PushError(ERR_NO_MEM, "InitMeshObjField3ds: no memory for the %s", what);
            return;
        }
        array = static_cast<T*>(grown);
    };
    if (mask & InitVertexArray3ds)
        resize(m->vertexarray, m->nvertices, "vertices");
    if (mask & InitTextArray3ds)
        resize(m->textarray, m->ntextverts, "texture vertices");
    if (mask & InitVertexFlags3ds)
        resize(m->vflagarray, m->nvflags, "vertex flags");
    if (mask & InitFaceArray3ds)
        resize(m->facearray, m->nfaces, "faces");
    if (mask & InitSmoothArray3ds)
    {
        ushort3ds n = m->nfaces;
        resize(m->smootharray, n, "smoothing groups");
    }
    if (mask & InitMatArray3ds)
    {
        // Entries dropped by a shrink take their face lists with them. The
        // old entry count is what the block holds.
        size_t held = m->matarray ? malloc_usable_size(m->matarray) / sizeof(objmat3ds) : 0;
        for (size_t i = m->nmats; i < held; ++i)
        {
            std::free(m->matarray[i].faceindex);
            m->matarray[i].faceindex = nullptr;
            m->matarray[i].nfaces = 0;
        }
        resize(m->matarray, m->nmats, "material list");
    }
}

void InitMatArrayIndex3ds(mesh3ds* mesh, ushort3ds entry, ushort3ds faces)
{
    if (!mesh || !mesh->matarray || entry >= mesh->nmats)
    {
        PushError(ERR_INVALID_ARG, "InitMatArrayIndex3ds: no material entry %u", entry);
        return;
    }
    objmat3ds& mat = mesh->matarray[entry];
    void* grown = ResizeArray(mat.faceindex, faces, sizeof(ushort3ds));
    if (faces && !grown)
    {
        PushError(ERR_NO_MEM, "InitMatArrayIndex3ds: no memory for %u faces", faces);
        return;
    }
    mat.faceindex = static_cast<ushort3ds*>(grown);
    mat.nfaces = faces;
}

void RelMeshObj3ds(mesh3ds** mesh)
{
    if (!mesh || !*mesh)
        return;
    FreeMeshArrays(*mesh);
    Release(mesh);
}

void InitLight3ds(light3ds** light)
{
    if (!Allocate(light, "InitLight3ds"))
        return;
    light3ds* l = *light;
    std::free(l->spot);
    std::memset(l, 0, sizeof *l);
    l->color = {0.708f, 0.708f, 0.708f};
    l->multiplier = 1.0f;
}

void InitSpotlight3ds(light3ds** light)
{
    InitLight3ds(light);
    if (!light || !*light)
        return;
    spotlight3ds* spot = static_cast<spotlight3ds*>(std::calloc(1, sizeof(spotlight3ds)));
    if (!spot)
    {
        PushError(ERR_NO_MEM, "InitSpotlight3ds: out of memory");
        return;
    }
    spot->target = {1.0f, 1.0f, 1.0f};
    spot->hotspot = 44.0f;
    spot->falloff = 45.0f;
    (*light)->spot = spot;
}

void ReleaseLight3ds(light3ds** light)
{
    if (!light || !*light)
        return;
    std::free((*light)->spot);
    Release(light);
}

void InitCamera3ds(camera3ds** camera)
{
    if (!Allocate(camera, "InitCamera3ds"))
        return;
    camera3ds* c = *camera;
    std::memset(c, 0, sizeof *c);
    c->target = {1.0f, 1.0f, 1.0f};
    c->fov = 45.0f;
    c->nearplane = 10.0f;
    c->farplane = 1000.0f;
}

void ReleaseCamera3ds(camera3ds** camera)
{
    Release(camera);
}

void InitMaterial3ds(material3ds** material)
{
    if (!Allocate(material, "InitMaterial3ds"))
        return;
    material3ds* m = *material;
    std::memset(m, 0, sizeof *m);
    m->wiresize = 1.0f;
    m->shading = 3;
    SetBitmapDefaults(m->texture);
    SetBitmapDefaults(m->texture2);
}

void ReleaseMaterial3ds(material3ds** material)
{
    Release(material);
}

// ---- Keyframer records ----

void InitObjectMotion3ds(objectmotion3ds** motion, ulong3ds npkeys, ulong3ds nrkeys, ulong3ds nskeys, ulong3ds nmkeys,
                         ulong3ds nhkeys)
{
    if (!motion)
    {
        PushError(ERR_INVALID_ARG, "InitObjectMotion3ds: null record pointer");
        return;
    }
    if (!*motion)
    {
        if (!Allocate(motion, "InitObjectMotion3ds"))
            return;
        (*motion)->msangle = 24.0f;
    }
    objectmotion3ds* m = *motion;
    const char* what = "InitObjectMotion3ds";
    FTK_INIT_TRACK(npkeys, m->npkeys, m->pkeys, &m->pos, what);
    FTK_INIT_TRACK(nrkeys, m->nrkeys, m->rkeys, &m->rot, what);
    for (ulong3ds i = 0; m->rot && i < nrkeys; ++i)
        m->rot[i].z = 1.0f;
    FTK_INIT_TRACK(nskeys, m->nskeys, m->skeys, &m->scale, what);
    for (ulong3ds i = 0; m->scale && i < nskeys; ++i)
        m->scale[i] = {1.0f, 1.0f, 1.0f};
    FTK_INIT_TRACK(nmkeys, m->nmkeys, m->mkeys, &m->morph, what);
    FTK_INIT_TRACK(nhkeys, m->nhkeys, m->hkeys, static_cast<char**>(nullptr), what);
}

void InitOmnilightMotion3ds(omnimotion3ds** motion, ulong3ds npkeys, ulong3ds nckeys)
{
    if (!Allocate(motion, "InitOmnilightMotion3ds"))
        return;
    omnimotion3ds* m = *motion;
    const char* what = "InitOmnilightMotion3ds";
    FTK_INIT_TRACK(npkeys, m->npkeys, m->pkeys, &m->pos, what);
    FTK_INIT_TRACK(nckeys, m->nckeys, m->ckeys, &m->color, what);
}

void InitSpotlightMotion3ds(spotmotion3ds** motion, ulong3ds npkeys, ulong3ds nckeys, ulong3ds nhkeys, ulong3ds nfkeys,
                            ulong3ds nrkeys, ulong3ds ntkeys)
{
    if (!Allocate(motion, "InitSpotlightMotion3ds"))
        return;
    spotmotion3ds* m = *motion;
    const char* what = "InitSpotlightMotion3ds";
    FTK_INIT_TRACK(npkeys, m->npkeys, m->pkeys, &m->pos, what);
    FTK_INIT_TRACK(nckeys, m->nckeys, m->ckeys, &m->color, what);
    FTK_INIT_TRACK(nhkeys, m->nhkeys, m->hkeys, &m->hot, what);
    FTK_INIT_TRACK(nfkeys, m->nfkeys, m->fkeys, &m->fall, what);
    FTK_INIT_TRACK(nrkeys, m->nrkeys, m->rkeys, &m->roll, what);
    FTK_INIT_TRACK(ntkeys, m->ntkeys, m->tkeys, &m->tpos, what);
}

void InitCameraMotion3ds(cameramotion3ds** motion, ulong3ds npkeys, ulong3ds nfkeys, ulong3ds nrkeys, ulong3ds ntkeys)
{
    if (!Allocate(motion, "InitCameraMotion3ds"))
        return;
    cameramotion3ds* m = *motion;
    const char* what = "InitCameraMotion3ds";
    FTK_INIT_TRACK(npkeys, m->npkeys, m->pkeys, &m->pos, what);
    FTK_INIT_TRACK(nfkeys, m->nfkeys, m->fkeys, &m->fov, what);
    FTK_INIT_TRACK(nrkeys, m->nrkeys, m->rkeys, &m->roll, what);
    FTK_INIT_TRACK(ntkeys, m->ntkeys, m->tkeys, &m->tpos, what);
}

void ReleaseObjectMotion3ds(objectmotion3ds** motion)
{
    if (!motion || !*motion)
        return;
    objectmotion3ds* m = *motion;
    for (void* p : {(void*)m->pkeys, (void*)m->pos, (void*)m->rkeys, (void*)m->rot, (void*)m->skeys, (void*)m->scale,
                    (void*)m->mkeys, (void*)m->morph, (void*)m->hkeys})
        std::free(p);
    Release(motion);
}

void ReleaseOmnilightMotion3ds(omnimotion3ds** motion)
{
    if (!motion || !*motion)
        return;
    omnimotion3ds* m = *motion;
    for (void* p : {(void*)m->pkeys, (void*)m->pos, (void*)m->ckeys, (void*)m->color})
        std::free(p);
    Release(motion);
}

void ReleaseSpotlightMotion3ds(spotmotion3ds** motion)
{
    if (!motion || !*motion)
        return;
    spotmotion3ds* m = *motion;
    for (void* p : {(void*)m->pkeys, (void*)m->pos, (void*)m->ckeys, (void*)m->color, (void*)m->hkeys, (void*)m->hot,
                    (void*)m->fkeys, (void*)m->fall, (void*)m->rkeys, (void*)m->roll, (void*)m->tkeys, (void*)m->tpos})
        std::free(p);
    Release(motion);
}

void ReleaseCameraMotion3ds(cameramotion3ds** motion)
{
    if (!motion || !*motion)
        return;
    cameramotion3ds* m = *motion;
    for (void* p : {(void*)m->pkeys, (void*)m->pos, (void*)m->fkeys, (void*)m->fov, (void*)m->rkeys, (void*)m->roll,
                    (void*)m->tkeys, (void*)m->tpos})
        std::free(p);
    Release(motion);
}

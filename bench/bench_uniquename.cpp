// Unique names: filling an entity with objects of numbered names and emptying
// it again, newest first, as closing a scene does.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "object/kentity.h"
#include "object/kuniquename.h"

namespace {

std::vector<std::string> CubeNames(int count)
{
    std::vector<std::string> names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.push_back("Cube" + std::to_string(i));
    return names;
}

// The name table alone: n names added, then removed newest first.
void BM_UniqueNamesAddRemove(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names = CubeNames(count);
    for (auto _ : state)
    {
        KUniqueNameObjectList table(10, 64);
        for (int i = 0; i < count; ++i)
            benchmark::DoNotOptimize(table.AddObject(names[i].c_str(), &names[i]));
        for (int i = count - 1; i >= 0; --i)
            table.RemoveObject(names[i].c_str(), &names[i]);
    }
    state.SetItemsProcessed(state.iterations() * count * 2);
}
BENCHMARK(BM_UniqueNamesAddRemove)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Whole objects: n objects created in one entity, then destroyed newest first.
void BM_EntityObjectsCreateDestroy(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names = CubeNames(count);
    std::vector<KObject*> objects(count);
    for (auto _ : state)
    {
        HdlKObjectTemplate<KEntity> entity = KEntityCreate("Scene");
        for (int i = 0; i < count; ++i)
            objects[i] = new KObject(names[i].c_str(), entity);
        for (int i = count - 1; i >= 0; --i)
            objects[i]->Destroy();
        entity->Destroy();
    }
    state.SetItemsProcessed(state.iterations() * count * 2);
}
BENCHMARK(BM_EntityObjectsCreateDestroy)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

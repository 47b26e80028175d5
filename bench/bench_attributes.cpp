// Node attributes: making a camera (65 properties, then its reset), and
// attaching a light and a camera to a node with ten takes and detaching them
// again (channels made, seeded and tied to properties in every take, then
// removed).

#include <benchmark/benchmark.h>

#include <string>

#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace {

using namespace qoxsdk_600;

void BM_CreateAndDestroyCamera(benchmark::State& state)
{
    KQoxSdkManager manager;
    for (auto _ : state)
    {
        KQoxCamera* camera = manager.CreateKQoxCamera();
        benchmark::DoNotOptimize(camera);
        manager.DestroyKQoxNodeAttribute(camera);
    }
}
BENCHMARK(BM_CreateAndDestroyCamera);

template <class T>
void AttachDetach(benchmark::State& state, T* (KQoxSdkManager::*create)())
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("Holder");
    for (int i = 1; i < 10; ++i)
        node->CreateTakeNode(("Take " + std::to_string(i)).c_str());
    T* attribute = (manager.*create)();
    for (auto _ : state)
    {
        node->SetNodeAttribute(attribute);
        node->SetNodeAttribute(nullptr);
    }
}

void BM_AttachDetachLightTenTakes(benchmark::State& state)
{
    AttachDetach(state, &KQoxSdkManager::CreateKQoxLight);
}
BENCHMARK(BM_AttachDetachLightTenTakes);

void BM_AttachDetachCameraTenTakes(benchmark::State& state)
{
    AttachDetach(state, &KQoxSdkManager::CreateKQoxCamera);
}
BENCHMARK(BM_AttachDetachCameraTenTakes);

} // namespace

// libFuzzer target: any bytes taken as the connections a file makes on a
// character's properties, mixed with node destructions, link changes, resets
// and solver values. Each pair of bytes is one step. After every step each
// link that names a node must be recorded on that node exactly once, and no
// link may name anything but a live node.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxcontrolsetplug.h"
#include "character/kqoxfilterset.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

const int kNodes = 4;

int RecordCount(KQoxNode* node, KQoxCharacter* character, int id)
{
    return node->FindCharacterLink(character, 0, id, 0) >= 0 ? 1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::unique_ptr<KQoxSdkManager> manager(new KQoxSdkManager);
    KQoxScene* scene = manager->CreateKQoxScene();
    KQoxCharacter* character = scene->GetCharacter(scene->CreateCharacter("C"));
    KQoxCharacter* other = scene->GetCharacter(scene->CreateCharacter("D"));
    KQoxControlSetPlug* plug = scene->GetControlSetPlug(scene->CreateControlSetPlug("P"));
    KQoxNode* nodes[kNodes] = {};
    for (KQoxNode*& node : nodes)
        node = manager->CreateKQoxNode("N");
    KQoxCharacterProperties* properties = character->GetProperties();

    for (size_t i = 0; i + 1 < size; i += 2)
    {
        const int op = data[i] % 6;
        const int arg = data[i + 1];
        KObject* sources[kNodes + 3] = {nodes[0] ? nodes[0]->GetPropertyHandler() : nullptr,
                                        nodes[1] ? nodes[1]->GetPropertyHandler() : nullptr,
                                        nodes[2] ? nodes[2]->GetPropertyHandler() : nullptr,
                                        nodes[3] ? nodes[3]->GetPropertyHandler() : nullptr,
                                        plug->GetPropertyHandler(),
                                        other->GetPropertyHandler(),
                                        properties};
        KProperty* property = properties->GetProperty((data[i] / 6 * 256 + arg) % properties->GetPropertyCount());
        KObject* source = sources[arg % (kNodes + 3)];
        KPropertyObjectList* list =
            property->Is(KPropertyObjectList::ClassId) ? static_cast<KPropertyObjectList*>(property) : nullptr;
        switch (op)
        {
        case 0:
            if (list && source)
                list->Add(source);
            break;
        case 1:
            if (list)
                list->Clear();
            break;
        case 2:
            if (KQoxNode*& node = nodes[arg % kNodes])
            {
                manager->DestroyKQoxNode(node, true);
                node = nullptr;
            }
            else
                node = manager->CreateKQoxNode("N");
            break;
        case 3:
        {
            KQoxCharacterLink link;
            link.mNode = nodes[arg % kNodes];
            character->SetCharacterLink(static_cast<ECharacterNodeId>(arg - 40), link, (arg & 1) != 0);
            break;
        }
        case 4:
            if (arg == 0)
                character->Reset();
            else
                *other = *character;
            break;
        default:
        {
            double value = 0;
            std::memcpy(&value, data + i, size - i >= sizeof(value) ? sizeof(value) : 0);
            character->GetFilterSet()->SetParameterValue(arg % KQoxFilterSet::GetParameterCount(), value);
            character->GetFilterSet()->SetParameterMode(arg % KQoxFilterSet::GetParameterCount(), arg % 4);
            properties->FilterSetToProperties();
            break;
        }
        }
        for (int id = 0; id < kCharacterNodeIdCount; ++id)
        {
            KQoxCharacterLink link;
            if (!character->GetCharacterLink(static_cast<ECharacterNodeId>(id), &link) || !link.mNode)
                continue;
            bool live = false;
            for (KQoxNode* node : nodes)
                live = live || node == link.mNode;
            if (!live || RecordCount(link.mNode, character, id) != 1)
                __builtin_trap();
        }
    }
    manager.reset();
    return 0;
}

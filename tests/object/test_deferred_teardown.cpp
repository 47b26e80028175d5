// Tearing down an object whose list mixes rows never made, rows made and
// properties of its own, in every order they come to be: every made
// property's connections are cut, every dynamic property is freed, and the
// rows never made only leave.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "object/kproperty.h"

namespace {

const int kRows = 40;

class ManyRows : public KObject
{
public:
    ManyRows() { AddRows(); }
    ~ManyRows() override { Destruct(); }

    void AddRows()
    {
        int rows[kRows];
        for (int i = 0; i < kRows; ++i)
            rows[i] = i;
        PropertyAddDeferred(rows, kRows);
    }
    void AddRow(int row) { PropertyAddDeferred(row); }

    std::unique_ptr<KProperty> mMade[kRows];

protected:
    KProperty* MakeDeferredProperty(int row) override
    {
        if (!mMade[row])
        {
            KPropertyTemplate<int>* property = new KPropertyTemplate<int>();
            property->SetSharedPropertyInfo(&Info(row));
            ConnectOwnedPlug(property);
            mMade[row].reset(property);
        }
        return mMade[row].get();
    }
    const KPropertyInfo& DeferredPropertyInfo(int row) const override { return Info(row); }

private:
    static const KPropertyInfo& Info(int row)
    {
        static KPropertyInfo* const infos = [] {
            KPropertyInfo* made = new KPropertyInfo[kRows];
            for (int i = 0; i < kRows; ++i)
            {
                made[i].mName = "row";
                made[i].mType = kPropertyTypeInt;
            }
            return made;
        }();
        return infos[row];
    }
};

// Connects a property to a fresh outside plug, kept by the caller.
KPlug* Attach(KProperty* property, std::vector<std::unique_ptr<KDataPlug>>& outside)
{
    outside.emplace_back(new KDataPlug);
    EXPECT_TRUE(property->ConnectSrc(outside.back().get()));
    return outside.back().get();
}

void ExpectAllCut(const std::vector<std::unique_ptr<KDataPlug>>& outside)
{
    for (const auto& plug : outside)
    {
        EXPECT_EQ(0, plug->GetDstCount());
        EXPECT_EQ(0, plug->GetSrcCount());
    }
}

} // namespace

TEST(DeferredTeardown, MadeRowsAnywhereInTheListAreCut)
{
    const int living = KPlug_GetLivingCount();
    std::vector<std::unique_ptr<KDataPlug>> outside;
    {
        ManyRows object;
        // A dynamic property after the rows, rows made at the front, in the
        // middle and last, and one more row after the dynamic property.
        KProperty* own = object.CreatePropertyFromType("Own", kPropertyTypeDouble, nullptr, false, false, nullptr);
        ASSERT_NE(nullptr, own);
        object.AddRow(5);
        Attach(own, outside);
        for (int index : {0, 17, kRows - 1, kRows + 1})
            Attach(object.GetProperty(index), outside);
        EXPECT_EQ(kRows + 2, object.GetPropertyCount());
        object.Destruct();
        ExpectAllCut(outside);
        EXPECT_EQ(0, object.GetPropertyCount());
    }
    outside.clear();
    EXPECT_EQ(living, KPlug_GetLivingCount());
}

TEST(DeferredTeardown, RowsRemovedBelowAMadeRowKeepItFound)
{
    std::vector<std::unique_ptr<KDataPlug>> outside;
    ManyRows object;
    KProperty* made = object.GetProperty(10);
    Attach(made, outside);
    // Rows never made taken out below it, one above it, then the made row
    // itself and the one now in its place made.
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(object.PropertyIndexDestroy(0));
    EXPECT_FALSE(object.PropertyIndexDestroy(20));
    EXPECT_EQ(made, object.GetPropertyIfMade(5));
    Attach(object.GetProperty(4), outside);
    object.DisconnectAll();
    ExpectAllCut(outside);
    Attach(made, outside);
    EXPECT_FALSE(object.PropertyIndexRemoveFromList(5));
    EXPECT_EQ(kRows - 7, object.GetPropertyCount());
    // Out of the list, the row keeps its connection; the rest are cut.
    KProperty* last = object.GetProperty(object.GetPropertyCount() - 1);
    Attach(last, outside);
    object.DisconnectAll();
    EXPECT_EQ(1, made->GetSrcCount());
    EXPECT_EQ(0, last->GetSrcCount());
    made->DisconnectAllSrc();
    object.DestructProperties();
    EXPECT_EQ(0, object.GetPropertyCount());
    // Rows listed again after the list was emptied.
    object.AddRows();
    Attach(object.GetProperty(kRows - 1), outside);
    object.Destruct();
    ExpectAllCut(outside);
}

TEST(DeferredTeardown, RandomListsTearDownWhole)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 200; ++round)
    {
        const int living = KPlug_GetLivingCount();
        std::vector<std::unique_ptr<KDataPlug>> outside;
        {
            ManyRows object;
            for (int step = 0; step < 30; ++step)
            {
                const int count = object.GetPropertyCount();
                const int pick = count > 0 ? int(random() % count) : 0;
                switch (random() % 6)
                {
                case 0:
                    if (count > 0)
                        Attach(object.GetProperty(pick), outside);
                    break;
                case 1:
                    if (count > 0)
                        object.PropertyIndexDestroy(pick);
                    break;
                case 2:
                    Attach(object.CreatePropertyFromType("p", kPropertyTypeInt, nullptr, false, false, nullptr),
                           outside);
                    break;
                case 3: object.AddRow(int(random() % kRows)); break;
                case 4:
                    if (count > 0 && object.GetPropertyIfMade(pick))
                        object.PropertyIndexDestroy(pick);
                    break;
                default:
                    if (count > 0)
                        object.GetProperty(pick);
                    break;
                }
            }
            if (round % 2)
            {
                object.DisconnectAll();
                ExpectAllCut(outside);
            }
            object.Destruct();
            ExpectAllCut(outside);
            EXPECT_EQ(0, object.GetPropertyCount());
        }
        outside.clear();
        EXPECT_EQ(living, KPlug_GetLivingCount());
    }
}

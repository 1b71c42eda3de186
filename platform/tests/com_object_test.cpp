// The one reference count and QueryInterface of the interface classes: every id an object
// implements (and those its interfaces extend) is answered with an added reference, anything
// else is E_NOINTERFACE with the out-pointer cleared, and only the object that belongs to
// nobody is deleted by its last Release.
#include "platform/com.h"

#include <gtest/gtest.h>

namespace {

class IShape : public IUnknown {
public:
    virtual int Corners() = 0;
};
constexpr IID IID_IShape = GuidFromString("0B1C2D3E-0000-4000-8000-000000000001");

class ISquare : public IShape {
public:
    virtual int Side() = 0;
};
constexpr IID IID_ISquare = GuidFromString("0B1C2D3E-0000-4000-8000-000000000002");

class IColour : public IUnknown {
public:
    virtual int Rgb() = 0;
};
constexpr IID IID_IColour = GuidFromString("0B1C2D3E-0000-4000-8000-000000000003");

// Asked for, but implemented by nothing here.
constexpr IID IID_IUnused = GuidFromString("0B1C2D3E-0000-4000-8000-000000000004");

}  // namespace

template <>
inline constexpr const IID* kInterfaceId<IShape> = &IID_IShape;
template <>
inline constexpr const IID* kInterfaceId<ISquare> = &IID_ISquare;
template <>
struct InterfaceBase<ISquare> {
    using type = IShape;
};
template <>
inline constexpr const IID* kInterfaceId<IColour> = &IID_IColour;

namespace {

template <template <class...> class Base>
class RedSquare final : public Base<ISquare, IColour> {
public:
    explicit RedSquare(bool& destroyed) : m_destroyed(destroyed) {}
    ~RedSquare() override { m_destroyed = true; }
    int Corners() override { return 4; }
    int Side() override { return 3; }
    int Rgb() override { return 0xFF0000; }

private:
    bool& m_destroyed;
};

TEST(ComObject, AnswersEachInterfaceItImplementsOrExtendsWithItsOwnPointer) {
    bool destroyed = false;
    auto* square = new RedSquare<ComObject>(destroyed);
    void* p = nullptr;

    ASSERT_EQ(square->QueryInterface(IID_ISquare, &p), S_OK);
    EXPECT_EQ(p, static_cast<ISquare*>(square));
    EXPECT_EQ(static_cast<ISquare*>(p)->Side(), 3);

    // IShape is answered through the ISquare that extends it.
    ASSERT_EQ(square->QueryInterface(IID_IShape, &p), S_OK);
    EXPECT_EQ(p, static_cast<IShape*>(square));
    EXPECT_EQ(static_cast<IShape*>(p)->Corners(), 4);

    // The second base sits at another address: the pointer must be adjusted to it.
    ASSERT_EQ(square->QueryInterface(IID_IColour, &p), S_OK);
    EXPECT_EQ(p, static_cast<IColour*>(square));
    EXPECT_NE(p, static_cast<void*>(static_cast<ISquare*>(square)));
    EXPECT_EQ(static_cast<IColour*>(p)->Rgb(), 0xFF0000);

    // IUnknown is the first interface, whichever interface it is asked through.
    ASSERT_EQ(static_cast<IColour*>(square)->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(static_cast<ISquare*>(square)));

    EXPECT_EQ(square->ReferencesForTest(), 5u);  // one from new, one per answer
    for (int i = 0; i < 4; ++i) {
        square->Release();
    }
    EXPECT_FALSE(destroyed);
    square->Release();
}

TEST(ComObject, RefusesOtherIdsAndClearsTheOutPointerWithoutAddingAReference) {
    bool destroyed = false;
    auto* square = new RedSquare<ComObject>(destroyed);
    void* p = square;  // must be cleared, not left pointing anywhere
    EXPECT_EQ(square->QueryInterface(IID_IUnused, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(square->QueryInterface(IID_ISquare, nullptr), E_POINTER);
    EXPECT_EQ(square->ReferencesForTest(), 1u);
    square->Release();
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, TheLastReleaseDeletesAndEachCallReturnsTheCountLeft) {
    bool destroyed = false;
    auto* square = new RedSquare<ComObject>(destroyed);
    EXPECT_EQ(square->AddRef(), 2u);
    EXPECT_EQ(square->AddRef(), 3u);
    EXPECT_EQ(square->Release(), 2u);
    EXPECT_EQ(square->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(square->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, AnOwnedObjectCountsButIsNeverDeletedByRelease) {
    bool destroyed = false;
    {
        RedSquare<OwnedComObject> square(destroyed);
        void* p = nullptr;
        ASSERT_EQ(square.QueryInterface(IID_IColour, &p), S_OK);
        EXPECT_EQ(p, static_cast<IColour*>(&square));
        EXPECT_EQ(square.ReferencesForTest(), 2u);
        EXPECT_EQ(square.Release(), 1u);
        EXPECT_EQ(square.Release(), 0u);
        EXPECT_FALSE(destroyed);
        EXPECT_EQ(square.QueryInterface(IID_IUnused, &p), E_NOINTERFACE);
    }
    EXPECT_TRUE(destroyed);  // by its owner's scope
}

}  // namespace

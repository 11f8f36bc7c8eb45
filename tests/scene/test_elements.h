// Stand-in element classes for the scene tests.
//
// The scene reads, walks, saves and routes input through any registered class; these stand-ins
// give each class of the game format a name and ClassId of its own, the base element's
// behaviour and a small property table, so the scene's code is tested without the real element
// families. Their tables are this file's own, not the game format's: tests that build serialized
// values follow the tables listed below.
#pragma once

#include "scene/element.h"
#include "scene/registry.h"
#include "scene/runtime.h"
#include "script/value.h"

#include <string>
#include <string_view>
#include <vector>

namespace kq::test {

// Every class: Key, Id, X, Y, Vis (the base five), then the class's own properties:
//   TKQScreen    exInit, exProcess, Order, Tag, NotSave, AutoInit
//   TKQImage     imImage, Scale (extended), rX, rY, MousedNotVis, exInit, exProcess,
//                exMouseIn, exMouseOut, exMouseDown, Order, Tag, NotSave, MsKeep, Interpol,
//                InterpolSc
//   TKQExScreen  obScreen, Order, Tag
//   TKQText      Font, Text, rX, rY, Order, Tag
//   TKQShape and TKQShapeEff  rX, rY, Order, Tag
//   the others   Order, Tag
// Containment: the root takes screens and animations; a screen and an image take the scene's
// element classes (only a screen takes TKQShapeEff); an animation takes keys, a key images and a
// text texts.
const scene::ClassRegistry& TestClasses();

// A stand-in with the base behaviour only.
template <scene::ClassId kClass> class TestElement : public scene::TKQElement {
public:
    using TKQElement::TKQElement;
    scene::ClassId Class() const override { return kClass; }
};

// A screen: as screens of the game format do, it takes the mouse while hidden.
class TestScreen : public TestElement<scene::ClassId::Screen> {
public:
    explicit TestScreen(scene::TKQElement* parent) : TestElement(parent) { MousedNotVis = true; }
};

// A picture element: stores its picture name and scale.
class TestImage : public TestElement<scene::ClassId::Image> {
public:
    using TestElement::TestElement;
    std::string imImage;
    double Scale = 1.0;
    int32_t Interpol = 1;
    int32_t InterpolSc = 0;
};

// A placeholder: shows the root's screen whose Key is obScreen in its place.
class TestPlaceholder : public TestElement<scene::ClassId::ExScreen> {
public:
    using TestElement::TestElement;
    int32_t obScreen = 0;
    scene::TKQElement* ShownInPlace() override;
};

// An image list: holds images by handle and saves them as "ELEMENTS" (their keys, each
// followed by ";"), which restores the images of those keys that are still in the tree.
class TestImList : public TestElement<scene::ClassId::ImList> {
public:
    using TestElement::TestElement;
    void AddItem(scene::TKQElement& image) { items_.push_back(image.Handle()); }
    void ClearItems() { items_.clear(); }
    size_t ItemCount() const { return items_.size(); }
    // Null once the image was freed.
    scene::TKQElement* ItemImage(size_t i) const { return Rt().handles.Resolve(items_[i]); }
    bool GetProp(std::string_view name, script::Value& out) override;
    bool SetProp(std::string_view name, const script::Value& value) override;

private:
    std::vector<uint32_t> items_;
};

// A text element: its Text is what the keyboard edits while it has the focus.
class TestText : public TestElement<scene::ClassId::Text> {
public:
    using TestElement::TestElement;
    std::string Font;
    std::string Text;
};

} // namespace kq::test

#include "elements/classes.h"

#include "elements/animation.h"
#include "elements/effect.h"
#include "elements/image.h"
#include "elements/screen.h"
#include "elements/shape.h"
#include "elements/text.h"
#include "scene/db.h"

namespace kq::elements {

using scene::ClassId;
using scene::TKQElement;

namespace {

template <class T> TKQElement* Create(TKQElement* parent) {
    return new T(parent);
}

scene::ClassRegistry Build() {
    scene::ClassRegistry r;
    r.RegisterClass(ClassId::DB, "TKQDB", nullptr, scene::DbProps());
    r.RegisterClass(ClassId::Screen, "TKQScreen", &Create<TKQScreen>, ScreenProps());
    r.RegisterClass(ClassId::Image, "TKQImage", &Create<TKQImage>, ImageProps());
    r.RegisterClass(ClassId::ExScreen, "TKQExScreen", &Create<TKQExScreen>, ExScreenProps());
    r.RegisterClass(ClassId::Anim, "TKQAnim", &Create<TKQAnim>, AnimProps());
    r.RegisterClass(ClassId::AnKey, "TKQAnKey", &Create<TKQAnKey>, AnKeyProps());
    r.RegisterClass(ClassId::ExAnim, "TKQExAnim", &Create<TKQExAnim>, ExAnimProps());
    r.RegisterClass(ClassId::Effect, "TKQEffect", &Create<TKQEffect>, EffectProps());
    r.RegisterClass(ClassId::ImList, "TKQImList", &Create<TKQImList>, ImListProps());
    r.RegisterClass(ClassId::Shape, "TKQShape", &Create<TKQShape>, ShapeProps());
    r.RegisterClass(ClassId::Text, "TKQText", &Create<TKQText>, TextProps());
    r.RegisterClass(ClassId::ShapeEff, "TKQShapeEff", &Create<TKQShapeEff>, ShapeEffProps());

    r.AllowChild(ClassId::DB, ClassId::Screen);
    r.AllowChild(ClassId::DB, ClassId::Anim);
    for (ClassId child :
         {ClassId::Image, ClassId::ExScreen, ClassId::ExAnim, ClassId::Anim, ClassId::Effect,
          ClassId::ImList, ClassId::Shape, ClassId::ShapeEff, ClassId::Text}) {
        r.AllowChild(ClassId::Screen, child);
    }
    // Images and both shape classes contain the same classes: all a screen does but ShapeEff.
    for (ClassId parent : {ClassId::Image, ClassId::Shape, ClassId::ShapeEff}) {
        for (ClassId child : {ClassId::Image, ClassId::ExScreen, ClassId::ExAnim, ClassId::Anim,
                              ClassId::Effect, ClassId::ImList, ClassId::Shape, ClassId::Text}) {
            r.AllowChild(parent, child);
        }
    }
    r.AllowChild(ClassId::Anim, ClassId::AnKey);
    r.AllowChild(ClassId::AnKey, ClassId::Image);
    r.AllowChild(ClassId::Text, ClassId::Text);
    return r;
}

} // namespace

const scene::ClassRegistry& ElementClasses() {
    // Built once and never changed afterwards.
    static const scene::ClassRegistry registry = Build();
    return registry;
}

} // namespace kq::elements

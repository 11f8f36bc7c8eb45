// A tiny element tree implementing the scene binding, for the interpreter's tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "script/scene_binding.h"

namespace kq::script::test {

class FakeScene : public SceneBinding {
public:
    struct Element {
        std::string id;
        std::string cls;
        Handle parent = 0;
        std::vector<Handle> children;
        std::map<std::string, Value> props;
    };

    FakeScene() { Add(0, "KQDB", "TKQDB"); }

    // Adds an element under parent (0 only for the root) and returns its handle.
    Handle Add(Handle parent, std::string id, std::string cls) {
        Handle h = static_cast<Handle>(elements_.size() + 1);
        elements_.push_back(Element{std::move(id), std::move(cls), parent, {}, {}});
        if (parent) {
            Get(parent).children.push_back(h);
        }
        return h;
    }
    Element& Get(Handle h) { return elements_[h - 1]; }
    void SetSaveErr(bool on) { saveErr_ = on; }

    Handle Root() const override { return 1; }
    Handle Parent(Handle e) const override { return IsElement(e) ? elements_[e - 1].parent : 0; }
    bool IsElement(Handle e) const override { return e >= 1 && e <= elements_.size(); }
    bool GetProp(Handle e, std::string_view name, Value& out) override {
        if (!IsElement(e)) {
            return false;
        }
        ++getProps;
        Element& el = Get(e);
        auto it = el.props.find(std::string(name));
        if (it != el.props.end()) {
            out = it->second;
            return true;
        }
        for (Handle c : el.children) {
            if (Upper(Get(c).id) == name) {
                out = Value::LongWord(c);
                return true;
            }
        }
        if (name == "SELF") {
            out = Value::LongWord(e);
            return true;
        }
        if (name == "PARENT" && el.parent) {
            out = Value::LongWord(el.parent);
            return true;
        }
        return false;
    }
    bool SetProp(Handle e, std::string_view name, const Value& value) override {
        if (!IsElement(e)) {
            return false;
        }
        auto it = Get(e).props.find(std::string(name));
        if (it == Get(e).props.end()) {
            return false;
        }
        it->second = value;
        return true;
    }
    std::string Describe(Handle e) const override {
        return IsElement(e) ? elements_[e - 1].id + " <" + elements_[e - 1].cls + ">" : "";
    }
    bool SaveErr() const override { return saveErr_; }
    std::string Translate(std::string_view key) override {
        return key == "Menu.Start" ? "Start!" : "";
    }

    int getProps = 0;

private:
    static std::string Upper(std::string s) {
        for (char& c : s) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 32);
            }
        }
        return s;
    }
    std::vector<Element> elements_;
    bool saveErr_ = false;
};

} // namespace kq::script::test

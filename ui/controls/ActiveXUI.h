// The host of a hosted component, in the form it takes where such
// components do not exist: a plain control that says so.
#pragma once

#include "ui/core/ControlUI.h"

// Reads the component's attributes ("clsid", "modulename", "delaycreate")
// and keeps them; paints its background, images and border like any
// control. The first time it is shown in a window it tries to create the
// component, which never exists here: that is written to the debug output
// once. Each time it becomes shown in a window it raises "showactivex"
// (queued, so listeners added after the build see it too). UI thread only.
class CActiveXUI : public CControlUI {
public:
    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void onInitialise() override;
    void assignShown(bool visible = true) override;
    void assignInheritedShown(bool visible = true) override;

    const CStringUI& componentId() const { return m_clsid; }
    const CStringUI& moduleName() const { return m_module; }
    bool delayCreate() const { return m_delayCreate; }
    // Always false: no component can be created on this system.
    bool isCreated() const { return false; }
    // Whether creating the component was tried (and reported) already.
    bool creationTried() const { return m_creationTried; }

protected:
    // What the debug output says the component is.
    virtual std::wstring componentDescription() const;

private:
    void shownChanged(bool wasShown);

    CStringUI m_clsid;
    CStringUI m_module;
    bool m_delayCreate = true;
    bool m_creationTried = false;
    bool m_initialised = false;
};

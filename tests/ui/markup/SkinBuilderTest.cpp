// The dialog builder: document order and attribute order, resources, window
// attributes, the tag table and the callback, covers, non-containers,
// "Include", and the limits that keep hostile documents finite.
#include "ui/markup/SkinBuilder.h"

#include "platform/system/Resources.h"
#include "tests/ui/SkinWindow.h"
#include "tests/ui/TestSupport.h"
#include "ui/controls/ButtonUI.h"
#include "ui/controls/LabelUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/layout/ContainerUI.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using testsupport::SkinSourceGuard;
using testsupport::SkinWindow;

namespace {

// A container the callback makes for the tag "Rec": it logs every attribute
// applied to it and counts live instances.
std::vector<std::wstring> g_log;
int g_live = 0;

class RecordingContainer : public CContainerUI {
public:
    RecordingContainer() { ++g_live; }
    ~RecordingContainer() override { --g_live; }
    std::wstring_view typeName() const override { return L"Rec"; }
    void applyAttribute(std::wstring_view name, std::wstring_view value) override {
        g_log.push_back(std::wstring(name) + L"=" + std::wstring(value));
        CContainerUI::applyAttribute(name, value);
    }
};

class RecordingCallback : public IDialogBuilderCallback {
public:
    CControlUI* createControl(const wchar_t* tag) override {
        asked.push_back(tag);
        if (std::wstring_view(tag) == L"Rec") return new RecordingContainer;
        return nullptr;
    }
    std::vector<std::wstring> asked;
};

class Builder : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        g_live = 0;
    }
    void TearDown() override {
        owned.clear();
        EXPECT_EQ(g_live, 0) << "every built control is owned and freed";
    }

    // Builds markup without a window; the result is owned by `owned`.
    CControlUI* build(const std::wstring& markup, CFormManagerUI* manager = nullptr) {
        CSkinBuilder builder;
        CControlUI* root = builder.build(markup.c_str(), nullptr, &callback, manager, nullptr);
        if (root) owned.emplace_back(root);
        return root;
    }
    static IContainerUI* items(CControlUI* control) {
        return control ? static_cast<IContainerUI*>(control->castTo(L"IContainer")) : nullptr;
    }
    static std::wstring nameAt(CControlUI* parent, int index) {
        CControlUI* c = items(parent) ? items(parent)->itemAt(index) : nullptr;
        return c ? c->controlName().toStd() : L"<none>";
    }

    struct Deleter {
        void operator()(CControlUI* c) const { c->destroySelf(); }
    };
    std::vector<std::unique_ptr<CControlUI, Deleter>> owned;
    RecordingCallback callback;
};

TEST_F(Builder, BuildsTopDownAndAppliesAttributesBottomUp) {
    CControlUI* root = build(LR"(<Window><VerticalLayout name="v"><Button name="b"/><Label name="l"/></VerticalLayout>
        <Rec name="outer" userdata="o"><Rec name="inner" userdata="i"/></Rec></Window>)");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->typeName(), L"VerticalLayout");
    ASSERT_EQ(items(root)->itemCount(), 2);
    EXPECT_EQ(nameAt(root, 0), L"b");
    EXPECT_EQ(nameAt(root, 1), L"l");
    EXPECT_EQ(items(root)->itemAt(0)->typeName(), L"Button");
    // The second top-level control has no owner: it was built and freed.
    EXPECT_EQ((std::vector<std::wstring>{L"name=inner", L"userdata=i", L"name=outer", L"userdata=o"}), g_log);
}

TEST_F(Builder, TagTableIgnoresCaseAndCallbackGetsTheRest) {
    CControlUI* root = build(LR"(<window><vbox name="v"><HBOX name="h"/><checkbox name="c"/><Progress name="p"/>
        <Text name="t"/><Option name="o"/><Container name="k"/><Control name="x"/><ScrollBar name="s"/>
        <Edit name="e"/><MediaPlayer name="list"><Label name="inside"/></MediaPlayer><Rec name="r"/>
        <TileLayout/><TabLayout/><TreeView/><tree/></vbox></window>)");
    ASSERT_NE(root, nullptr);
    std::vector<std::wstring> types;
    for (int i = 0; i < items(root)->itemCount(); ++i) types.emplace_back(items(root)->itemAt(i)->typeName());
    EXPECT_EQ((std::vector<std::wstring>{L"HorizontalLayout", L"CheckBox", L"Progress", L"Text", L"Option",
                                         L"Container", L"Control", L"ScrollBar", L"Edit", L"Rec", L"TileLayout",
                                         L"TabLayout", L"TreeView", L"TreeView"}),
              types);
    // Unknown tags go to the callback as written; its null skips the subtree.
    EXPECT_EQ((std::vector<std::wstring>{L"MediaPlayer", L"Rec"}), callback.asked);
}

TEST_F(Builder, ValueAnimationAndHostedComponentTags) {
    CControlUI* root = build(LR"(<Window><VBox><slider/><DATETIME/><RotateImage/><ChrysanthemumLoading/>
        <ActiveX/><WebBrowser/></VBox></Window>)");
    ASSERT_NE(root, nullptr);
    std::vector<std::wstring> types;
    for (int i = 0; i < items(root)->itemCount(); ++i) types.emplace_back(items(root)->itemAt(i)->typeName());
    EXPECT_EQ((std::vector<std::wstring>{L"Slider", L"DateTime", L"RotateImage", L"ChrysanthemumLoading", L"ActiveX",
                                         L"WebBrowser"}),
              types);
    EXPECT_TRUE(callback.asked.empty());
}

TEST_F(Builder, UnknownTagWithoutCallbackIsSkippedWithItsSubtree) {
    CSkinBuilder builder;
    CControlUI* root = builder.build(
        LR"(<Window><HBox><MediaPlayer><Label name="in"/></MediaPlayer><Label name="after"/></HBox></Window>)");
    ASSERT_NE(root, nullptr);
    owned.emplace_back(root);
    ASSERT_EQ(items(root)->itemCount(), 1);
    EXPECT_EQ(nameAt(root, 0), L"after");
}

TEST_F(Builder, CoverNeedsExactlyLowerCaseTrue) {
    CControlUI* root = build(LR"(<Window><HBox><Container name="host"><Control name="c" cover="true"/>
        <Control name="k" cover="True"/></Container></HBox></Window>)");
    ASSERT_NE(root, nullptr);
    CControlUI* host = items(root)->itemAt(0);
    ASSERT_NE(host->coverControl(), nullptr);
    EXPECT_EQ(host->coverControl()->controlName(), L"c");
    ASSERT_EQ(items(host)->itemCount(), 1);
    EXPECT_EQ(nameAt(host, 0), L"k");
}

// Whatever the build drops takes its names along; what it keeps stays
// reachable.
TEST_F(Builder, DroppedControlsLeaveNoNameBehind) {
    SkinSourceGuard guard;
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "part.xml", "<Include><Label name=\"part\"/></Include>");
    testsupport::writeBytes(dir / "lost.xml", "<Include><Label name=\"lost\"/></Include>");
    CFormManagerUI::setResourcePath((dir.path().wstring() + L"/"));
    CFormManagerUI manager;
    CControlUI* root = build(LR"(<Window><VerticalLayout name="root"><Button name="b"/>
        <Container name="host"><Container name="cover1" cover="true"><Label name="under1"/></Container>
        <Control name="cover2" cover="true"/></Container>
        <Label name="text"><Rec name="inside"><Label name="deep"/></Rec></Label>
        <Include source="part.xml"/></VerticalLayout>
        <Button name="extra"><Label name="extrachild"/></Button>
        <Include source="lost.xml"/></Window>)",
                             &manager);
    ASSERT_NE(root, nullptr);
    owned.back().release(); // the manager owns the tree now
    manager.setRoot(root);
    for (const wchar_t* kept : {L"root", L"b", L"host", L"cover2", L"text", L"part"})
        EXPECT_NE(manager.findControlByName(kept), nullptr) << kept;
    for (const wchar_t* dropped : {L"cover1", L"under1", L"inside", L"deep", L"extra", L"extrachild", L"lost"})
        EXPECT_EQ(manager.findControlByName(dropped), nullptr) << dropped;
    manager.setRoot(nullptr);
}

TEST_F(Builder, ControlsInsideANonContainerAreDiscardedWithTheirLaterSiblings) {
    CControlUI* root = build(LR"(<Window><HBox><Label name="text"><Rec name="first"/><Rec name="second"/></Label>
        <Label name="after"/></HBox></Window>)");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(items(root)->itemCount(), 2);
    EXPECT_EQ(nameAt(root, 0), L"text");
    EXPECT_EQ(nameAt(root, 1), L"after");
    // "second" was never asked for: the level stopped at "first".
    EXPECT_EQ((std::vector<std::wstring>{L"Rec"}), callback.asked);
}

TEST_F(Builder, IncludeBuildsItsDocumentCountTimesUnderTheParent) {
    SkinSourceGuard guard;
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "part.xml", "<Include><Label name=\"part\"/><Button/></Include>");
    CFormManagerUI::setResourcePath((dir.path().wstring() + L"/"));
    CControlUI* root = build(LR"(<Window><HBox><Include source="part.xml" count="3"/><Label name="own"/>
        <Include count="2"/><Include source="missing.xml"/></HBox></Window>)");
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(items(root)->itemCount(), 7);
    EXPECT_EQ(nameAt(root, 4), L"part");
    EXPECT_EQ(nameAt(root, 6), L"own");
    // Inline markup works as a source too, and an Include at the top level
    // yields nothing the caller would have to own.
    CControlUI* top = build(LR"(<Window><Include source="<x><Label name='lost'/></x>"/><Label name="kept"/></Window>)");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->controlName(), L"kept");
}

TEST_F(Builder, SelfIncludingDocumentsAndDeepNestingEnd) {
    SkinSourceGuard guard;
    const testsupport::ScratchFolder dir;
    testsupport::writeBytes(dir / "self.xml", "<Window><Label/><Include source=\"self.xml\" count=\"1\"/></Window>");
    testsupport::writeBytes(dir / "bomb.xml", "<Window><Label/><Include source=\"bomb.xml\" count=\"50\"/></Window>");
    CFormManagerUI::setResourcePath((dir.path().wstring() + L"/"));
    CControlUI* root = build(L"<Window><HBox><Include source=\"self.xml\"/></HBox></Window>");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(items(root)->itemCount(), CSkinBuilder::kMaxIncludeDepth);
    // Fifty-fold includes nested sixteen deep stop at the work limit.
    root = build(L"<Window><HBox><Include source=\"bomb.xml\"/></HBox></Window>");
    ASSERT_NE(root, nullptr);
    EXPECT_LE(items(root)->itemCount(), CSkinBuilder::kMaxWork);

    std::wstring deep = L"<Window>";
    for (int i = 0; i < 5000; ++i) deep += L"<VBox>";
    for (int i = 0; i < 5000; ++i) deep += L"</VBox>";
    root = build(deep);
    ASSERT_NE(root, nullptr);
    int depth = 1;
    for (CControlUI* c = root; items(c) && items(c)->itemCount() > 0; c = items(c)->itemAt(0)) ++depth;
    EXPECT_EQ(depth, CSkinBuilder::kMaxDepth);
}

TEST_F(Builder, ReportsLoadFailuresAndBuildsNothingWithoutARoot) {
    SkinSourceGuard guard;
    CSkinBuilder builder;
    EXPECT_EQ(builder.build(L"no-such-document.xml"), nullptr);
    EXPECT_STREQ(builder.lastError(), L"Error opening file");
    EXPECT_EQ(builder.build(L"<a><b></c></a>"), nullptr);
    EXPECT_STREQ(builder.lastError(), L"Unmatched closing tag");
    EXPECT_STREQ(builder.lastErrorLocation(), L"c></a>");
    EXPECT_EQ(builder.build(L"<!-- only a comment -->"), nullptr);
    EXPECT_EQ(builder.build(L"<Window/>"), nullptr);
}

// A document embedded as a resource includes another by resource id.
const unsigned char kOuterDoc[] = "<Window><HBox name=\"outer\"><Include source=\"602\" count=\"2\"/></HBox></Window>";
const unsigned char kInnerDoc[] = "<Window><Label name=\"from_resource\"/></Window>";
const platform::ResourceRegistrar kOuter(L"SKINTEST", L"601", kOuterDoc, kOuterDoc + sizeof kOuterDoc - 1);
const platform::ResourceRegistrar kInner(L"SKINTEST", L"602", kInnerDoc, kInnerDoc + sizeof kInnerDoc - 1);

TEST_F(Builder, ResourceDocumentsIncludeByResourceId) {
    CSkinBuilder builder;
    CControlUI* root = builder.build(601, L"SKINTEST", nullptr, nullptr, nullptr);
    ASSERT_NE(root, nullptr);
    owned.emplace_back(root);
    ASSERT_EQ(items(root)->itemCount(), 2);
    EXPECT_EQ(nameAt(root, 1), L"from_resource");
    EXPECT_EQ(builder.build(603, L"SKINTEST"), nullptr);
}

TEST_F(Builder, RegistersResourcesWithTheManager) {
    CFormManagerUI manager;
    const platform::Argb sharedText = CFormManagerUI::sharedResources().textColour;
    CControlUI* root = build(LR"(<Window>
        <Font id="0" name="WenQuanYi Micro Hei" size="14" default="true"/>
        <FONT name="WenQuanYi Micro Hei" size="40" default="true"/>
        <Font id="3" name="WenQuanYi Micro Hei" bold="TRUE"/>
        <Image name="builder-test-shared" restype="*COLOR*" shared="true"/>
        <Image name="#FF102030" restype="*COLOR*"/>
        <Default name="Button" value="bkcolor=&quot;#FF112233&quot;"/>
        <MultiLanguage id="77" value="seventy-seven"/>
        <MultiLanguage value="no id"/>
        <VBox><Button name="a"/><button name="b"/><Button name="c" bkcolor="#FF445566"/>
          <Label><Font id="9" name="nested fonts are ignored"/></Label></VBox></Window>)",
                             &manager);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(manager.defaultFontInfo().size, 14);
    EXPECT_EQ(manager.fontInfo(0).face, L"WenQuanYi Micro Hei");
    EXPECT_EQ(manager.fontInfo(3).size, 12);
    EXPECT_TRUE(manager.fontInfo(3).bold);
    EXPECT_EQ(manager.fontInfo(9).size, 14) << "font 9 is the default font";
    EXPECT_NE(CFormManagerUI::sharedResources().images.find(L"builder-test-shared"), nullptr);
    EXPECT_NE(manager.findImage(L"#FF102030"), nullptr);
    EXPECT_STREQ(CFormManagerUI::languageText(77), L"seventy-seven");
    auto bk = [&](int i) { return items(root)->itemAt(i)->bkColour(); };
    EXPECT_EQ(bk(0), 0xFF112233u);
    EXPECT_EQ(bk(1), 0u) << "defaults are looked up by the tag as written";
    EXPECT_EQ(bk(2), 0xFF445566u) << "the element's own attribute wins";
    EXPECT_EQ(CFormManagerUI::sharedResources().textColour, sharedText);
    CFormManagerUI::sharedResources().images.remove(L"builder-test-shared");
}

TEST_F(Builder, WindowAttributesNeedAWindowRootAndAnAttachedManager) {
    struct Case {
        const wchar_t* markup;
        bool applied;
    } cases[] = {
        {LR"(<Window caption="0,0,0,44" gallerykey="v"><Label/></Window>)", true},
        {LR"(<wInDoW caption="0,0,0,44" gallerykey="v"><Label/></wInDoW>)", true},
        {LR"(<Dialog caption="0,0,0,44" gallerykey="v"><Label/></Dialog>)", false},
    };
    for (const Case& c : cases) {
        SkinWindow window(c.markup);
        ASSERT_TRUE(window.built());
        EXPECT_EQ(window.manager().caption().bottom, c.applied ? 44 : 0) << platform::toUtf8(c.markup);
        EXPECT_EQ(window.manager().windowAttribute(L"gallerykey") != nullptr, c.applied);
    }
    // A manager without a window gets no window attributes.
    CFormManagerUI manager;
    ASSERT_NE(build(LR"(<Window gallerykey="v"><Label/></Window>)", &manager), nullptr);
    EXPECT_EQ(manager.windowAttribute(L"gallerykey"), nullptr);
}

} // namespace

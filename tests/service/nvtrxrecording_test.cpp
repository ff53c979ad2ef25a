// Recording: the client reports user actions through INVTRX and every
// connected tool receives them as Record events.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "host/nvsimapplication.h"
#include "host/nvsimcallwindow.h"
#include "objects/nvtrxclasses.h"
#include "service/nvtrx.h"
#include "support/trxtestvalues.h"
#include "tests/service/nvtrxservicetest.h"

namespace {

// ---- a tool's event sink -----------------------------------------------------------

using Lines = std::vector<std::string>;

// A Record event as one line: the descriptor, the method and the arguments,
// several of them as "[a, b]".
std::string Event(const std::string& ods, const char* method, const char* args) {
  return ods + " " + method + " " + args;
}

class RecordSink final : public IDispatch {
 public:
  explicit RecordSink(std::string name, std::vector<std::string>* order = nullptr, HRESULT answer = S_OK)
      : m_name(std::move(name)), m_order(order), m_answer(answer) {}

  Lines Events() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_events;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID__INVTRXEvents)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    EXPECT_EQ(
        std::make_tuple(id, lcid, flags, params->cArgs, params->cNamedArgs),
        std::make_tuple(DISPID(DISPID_INVTRXEVENTS_RECORD), LCID(LOCALE_USER_DEFAULT), WORD(DISPATCH_METHOD), 3u, 0u));
    EXPECT_EQ(std::make_tuple(params->rgvarg[2].vt, params->rgvarg[1].vt, params->rgvarg[0].vt),
              std::make_tuple(VARTYPE(VT_BSTR), VARTYPE(VT_BSTR), VARTYPE(VT_BYREF | VT_VARIANT)));
    TrxVariant args;
    VariantCopy(&args, params->rgvarg[0].pvarVal);
    std::string argsText = Text(args);
    if (args.vt == (VT_ARRAY | VT_VARIANT)) {
      CNVTRXArray items(&args);
      argsText = "[";
      for (LONG i = 0; i < items.GetCount(); ++i) argsText += (i ? ", " : "") + Text(items.GetAt(i));
      argsText += "]";
    }
    std::string event = Event(TrxNarrow(TrxBstrView(params->rgvarg[2].bstrVal)),
                              TrxNarrow(TrxBstrView(params->rgvarg[1].bstrVal)).c_str(), argsText.c_str());
    // A sink may change what it was handed; the next sink still gets the original.
    VariantClear(params->rgvarg[0].pvarVal);
    std::lock_guard<std::mutex> hold(m_lock);
    m_events.push_back(std::move(event));
    if (m_order) m_order->push_back(m_name);
    return m_answer;
  }

 private:
  std::string m_name;
  std::vector<std::string>* m_order;
  HRESULT m_answer;
  std::atomic<ULONG> m_refs{1};
  std::mutex m_lock;
  Lines m_events;
};

// ---- automation classes for objects below the application --------------------------

// A menu or toolbar of the client whose method rows record the host's
// arguments as they are. `className` may differ from the catalogue class the
// application asked for (the task-link rule is keyed on the class name).
class RecordedBar : public CNVTRXAutomation {
 public:
  RecordedBar(TrxStringView name, CNVTRXAutomation* parent, AUTO_OBJECTTYPE type, TrxStringView className,
              TrxStringView method, LONG request)
      : CNVTRXAutomation(name, parent) {
    m_strClassName = TrxString(className);
    TrxBstr hostName(name);
    parent->GetNWEAuto()->GetChild(type, hostName.Get(), m_spNWEAuto.Put());
    AddMethodMapping(method, VT_BSTR, request, VT_EMPTY, TRXMETHOD_REQUEST, u"recorded");
  }
  // A task link's click carries no arguments.
  bool RecordsArguments(TrxStringView method) const override {
    return !(m_strClassName == u"NorvTaskLink" && method == u"Click");
  }
};

// Registers a class for the test's lifetime.
class ScopedChildClass {
 public:
  ScopedChildClass(TrxStringView catalogueName, AUTO_OBJECTTYPE type, TrxStringView className, TrxStringView method,
                   LONG request)
      : m_name(catalogueName) {
    const TrxString cls(className), name(method);
    TrxSubstituteClass(m_name, [=](TrxStringView repositoryName, CNVTRXAutomation* parent) {
      return new RecordedBar(repositoryName, parent, type, cls, name, request);
    });
  }
  ~ScopedChildClass() { TrxRestoreClasses(); }

 private:
  TrxString m_name;
};

const std::vector<std::pair<TrxString, TrxString>> kCtrlN = {
    {u"0", u"78"}, {u"1", u"FALSE"}, {u"2", u"TRUE"}, {u"3", u"FALSE"}};
const std::vector<std::pair<TrxString, TrxString>> kCtrlS = {
    {u"0", u"83"}, {u"1", u"FALSE"}, {u"2", u"TRUE"}, {u"3", u"FALSE"}};

class Recording : public TrxServiceTest {
 protected:
  void SetUp() override {
    TrxServiceTest::SetUp();
    ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
    ASSERT_EQ(Answer(&INVTRXAutomation::StartRecording), "0 ");
    m_root = RootDescriptor();
  }
  void TearDown() override {
    for (DWORD cookie : m_cookies) Point()->Unadvise(cookie);
    TrxServiceTest::TearDown();
  }

  TrxComPtr<IConnectionPoint> Point() {
    TrxComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(m_tool->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    TrxComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID__INVTRXEvents, point.Put()), S_OK);
    return point;
  }
  // A new sink, connected; it lives until the end of the test.
  RecordSink& Connect(std::string name, std::vector<std::string>* order = nullptr, HRESULT answer = S_OK,
                      DWORD* cookie = nullptr) {
    m_sinks.push_back(std::make_unique<RecordSink>(std::move(name), order, answer));
    DWORD connected = 0;
    EXPECT_EQ(Point()->Advise(m_sinks.back().get(), &connected), S_OK);
    m_cookies.push_back(connected);
    if (cookie) *cookie = connected;
    return *m_sinks.back();
  }
  HRESULT Play(const OLECHAR* object, LONG eventId, std::vector<std::pair<TrxString, TrxString>> arguments = {},
               LONG objectType = -1) {
    return m_client->Play({object, eventId, std::move(arguments), objectType, /*applyRules=*/false, {}});
  }
  // The descriptor of a child of the root.
  std::string Below(const char* className, const char* name) {
    return m_root.substr(0, m_root.size() - 2) + "><Obj ClassName=\"" + className + "\" RepositoryName=\"" + name +
           "\"/></Obj>";
  }
  std::string Accelerator(const char* keys) { return Event(m_root, "ProcessKeyboardAccelerator", keys); }

  std::vector<std::unique_ptr<RecordSink>> m_sinks;
  std::vector<DWORD> m_cookies;
  std::string m_root;
};

// ---- firing ----------------------------------------------------------------------------------

TEST_F(Recording, EverySinkReceivesEachEventInConnectionOrderAndAFailingSinkStopsNoOther) {
  std::vector<std::string> order;
  DWORD secondCookie = 0;
  RecordSink& failing = Connect("failing", &order, E_FAIL);
  RecordSink& second = Connect("second", &order, S_OK, &secondCookie);

  EXPECT_EQ(Play(u"", REQID_PROCESSACCELERATOR, kCtrlN), S_OK);
  EXPECT_EQ(second.Events(), Lines{Accelerator("Ctrl+N")}) << "one argument arrives as itself, not as an array";
  EXPECT_EQ(order, (std::vector<std::string>{"failing", "second"}));
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), 1) << "the event's objects are gone";

  // A disconnected sink hears nothing more; its cookie cannot be used twice.
  EXPECT_EQ(Point()->Unadvise(secondCookie), S_OK);
  EXPECT_EQ(Point()->Unadvise(secondCookie), CONNECT_E_NOCONNECTION);
  m_cookies.pop_back();
  Play(u"", REQID_PROCESSACCELERATOR, kCtrlS);
  EXPECT_EQ(failing.Events().size(), 2u);
  EXPECT_EQ(second.Events().size(), 1u);
}

TEST_F(Recording, TheConnectionPointBelongsToTheFacade) {
  TrxComPtr<IConnectionPoint> point = Point();
  TrxComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point->GetConnectionPointContainer(container.Put()), S_OK);
  TrxComPtr<INVTRXAutomation> facade;
  ASSERT_EQ(container->QueryInterface(IID_INVTRXAutomation, facade.PutVoid()), S_OK);
  EXPECT_EQ(facade.Get(), m_tool.Get());
  TrxComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, other.Put()), CONNECT_E_NOCONNECTION);
  DWORD cookie = 7;
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(cookie, 0u);
}

// ---- the filter ------------------------------------------------------------------------------

TEST_F(Recording, TheFilterIgnoresItsPairsAndHandlesTheSameIdsOnOtherTypes) {
  struct Case {
    LONG eventId;
    LONG objectType;
    bool recorded;
  };
  const Case cases[] = {
      {REQID_NULL, OBJTYPE_APPLICATION, false},      {REQID_NULL, OBJTYPE_APPLET, false},
      {REQID_SHOWLOVS, OBJTYPE_CONTROL, false},      {REQID_SHOWLOVS, OBJTYPE_APPLICATION, false},
      {REQID_SETFOCUS, OBJTYPE_CONTROL, false},      {REQID_SETFOCUS, OBJTYPE_APPLET, true},
      {REQID_CLEARFOCUS, OBJTYPE_CONTROL, false},    {REQID_CLEARFOCUS, OBJTYPE_APPLET, true},
      {REQID_SETCELLFOCUS, OBJTYPE_LISTCONTROL, false}, {REQID_SETCELLFOCUS, OBJTYPE_CONTROL, true},
      {SETCELREQID_LVALUE, OBJTYPE_LISTCONTROL, true}, {REQID_PROCESSACCELERATOR, OBJTYPE_APPLICATION, true},
  };
  RecordSink& sink = Connect("sink");
  size_t expected = 0;
  for (const Case& c : cases) {
    // The application records every handled event as an accelerator, so a
    // Record shows that the pair passed the filter.
    EXPECT_EQ(Play(u"", c.eventId, kCtrlN, c.objectType), S_OK);
    if (c.recorded) ++expected;
    EXPECT_EQ(sink.Events().size(), expected) << "event " << c.eventId << " on type " << c.objectType;
  }
}

// ---- composite events ------------------------------------------------------------------------

TEST_F(Recording, AnEnterKeyIsHeldUntilItsEndOrAMessageBox) {
  RecordSink& sink = Connect("sink");

  EXPECT_EQ(Play(u"", REQID_ENTER_KEY, kCtrlN), S_OK);
  EXPECT_TRUE(sink.Events().empty()) << "held, not fired";
  EXPECT_EQ(Play(u"", REQID_ENTER_KEY_END, kCtrlS), S_OK);
  EXPECT_EQ(sink.Events(), Lines{Accelerator("Ctrl+N")}) << "the content of the first event";

  // An end with nothing pending fires nothing.
  Play(u"", REQID_ENTER_KEY_END);
  EXPECT_EQ(sink.Events().size(), 1u);

  // A second enter key replaces the first unfired; a message box closes it.
  Play(u"", REQID_ENTER_KEY, kCtrlN);
  Play(u"", REQID_ENTER_KEY, kCtrlS);
  EXPECT_EQ(sink.Events().size(), 1u);
  Play(u"", REQID_SHOWMESSAGEBOX);
  EXPECT_EQ(sink.Events(), (Lines{Accelerator("Ctrl+N"), Accelerator("Ctrl+S")}));
  Play(u"", REQID_SHOWMESSAGEBOX);
  EXPECT_EQ(sink.Events().size(), 2u);
}

// ---- arguments ---------------------------------------------------------------------------------

TEST_F(Recording, OneArgumentArrivesAsItselfSeveralAsAnArrayAndATaskLinkClickWithNone) {
  ScopedChildClass menu(u"NorvMenu", OBJTYPE_MENU, u"NorvMenu", u"Select", REQID_SELECTMENUITEM);
  ScopedChildClass toolbar(u"NorvToolbar", OBJTYPE_TOOLBAR, u"NorvTaskLink", u"Click", REQID_TOOLBAR);
  RecordSink& sink = Connect("sink");

  Play(u"NorvMenu", REQID_SELECTMENUITEM, {{u"Item", u"File\\New Record"}});
  Play(u"NorvMenu", REQID_SELECTMENUITEM, {{u"Item", u"Edit\\Copy"}, {u"Count", u"2"}});
  Play(u"HIMain", REQID_TOOLBAR, {{u"Item", u"New"}});
  const std::string menuOds = Below("NorvMenu", "NorvMenu");
  EXPECT_EQ(sink.Events(),
            (Lines{Event(menuOds, "Select", "File\\New Record"), Event(menuOds, "Select", "[Edit\\Copy, 2]"),
                   Event(Below("NorvTaskLink", "HIMain"), "Click", "<vt 0>")}))
      << "a task link's click carries no arguments";
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), 1);
}

// ---- events inside a tool's call -----------------------------------------------------------

TEST_F(Recording, WithLoopbackTestsAnEchoedRequestBuildsItsOwnObjectBesideTheCalls) {
  ScopedChildClass menu(u"NorvMenu", OBJTYPE_MENU, u"NorvMenu", u"Select", REQID_SELECTMENUITEM);
  CNVSimCallWindow window;  // the client's events reach this thread while it waits
  m_client->SetEventWindow(window.GetHandle());
  RecordSink& sink = Connect("sink");
  const TrxString root = TrxWiden(m_root), menuOds = TrxWiden(Below("NorvMenu", "NorvMenu"));
  ASSERT_EQ(Said(Submit(root, u"EnableLoopbackTests")), "0 ");
  EXPECT_TRUE(m_client->IsRecorderEnabled()) << "the call that turned loopback tests on switched the recorder back on";

  // The menu's request is echoed while the call waits for it: the event
  // builds a second menu object beside the call's own and removes only that.
  EXPECT_EQ(Said(Submit(menuOds, u"Select", Str(u"File\\Save Record"))), "0 ");
  EXPECT_EQ(sink.Events(), Lines{Event(Below("NorvMenu", "NorvMenu"), "Select", "File\\Save Record")});
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), 1);
  m_client->SetEventWindow(nullptr);
}

// ---- failures ----------------------------------------------------------------------------------

TEST_F(Recording, EventsThatCannotBeBuiltOrConvertedFireNothing) {
  RecordSink& sink = Connect("sink");
  TrxComPtr<INVTRX> host = Host();

  // No event object or no arguments.
  TrxComPtr<INVAutomation> application;
  ASSERT_EQ(m_client->QueryInterface(IID_INVAutomation, application.PutVoid()), S_OK);
  EXPECT_EQ(host->FireRecorderEvent(REQID_PROCESSACCELERATOR, nullptr, OBJTYPE_APPLICATION, nullptr), E_INVALIDARG);
  EXPECT_EQ(host->FireRecorderEvent(REQID_PROCESSACCELERATOR, application.Get(), OBJTYPE_APPLICATION, nullptr),
            E_INVALIDARG);

  // A list cell of a type no class stands for: nothing built, nothing fired.
  ASSERT_TRUE(m_client->GotoView(u"Account Detail - Contacts View"));
  EXPECT_EQ(Play(u"Accounts Screen/Account Detail - Contacts View/Account Contact List Applet/NorvList/Photo",
                 REQID_SETVALUE, {{u"0", u"x"}}),
            S_OK);
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), 1);

  // A conversion that fails (Tab is not an accelerator) is a user trace.
  EXPECT_EQ(Play(u"", REQID_PROCESSACCELERATOR, {{u"0", u"9"}, {u"1", u"FALSE"}, {u"2", u"FALSE"}, {u"3", u"FALSE"}}),
            S_OK);
  EXPECT_EQ(LastError(), "1020 Norvik Event Processing Engine failed: Invalid event 1 from object with Id 1.");

  // So does a key that has neither a name nor a character (F5).
  EXPECT_EQ(Play(u"", REQID_PROCESSACCELERATOR, {{u"0", u"116"}, {u"1", u"FALSE"}, {u"2", u"FALSE"}, {u"3", u"FALSE"}}),
            S_OK);
  EXPECT_EQ(LastError().rfind("1020 ", 0), 0u) << LastError();
  EXPECT_TRUE(sink.Events().empty());
  EXPECT_EQ(CNVTRXAutomation::GetLiveObjectCount(), 1);
}

// ---- the client's recorder -----------------------------------------------------------------------

TEST_F(Recording, ANewPageRecordsAgain) {
  EXPECT_TRUE(m_client->IsRecorderEnabled());
  m_client->Unload();
  EXPECT_FALSE(m_client->IsRecorderEnabled());
  ASSERT_EQ(m_client->Attach(m_tool.Get()), S_OK);
  EXPECT_TRUE(m_client->IsRecorderEnabled()) << "OnAppReady switched the new page's recorder on";
}

}  // namespace

// `trx demo`: a narrated walk through the service against the sample client.
#include <ostream>
#include <sstream>

#include "cli/trxcommands.h"
#include "cli/trxeventsink.h"
#include "cli/trxjsonvariant.h"
#include "cli/trxodspath.h"
#include "descriptors/nvtrxodsutil.h"
#include "descriptors/nvtrxxml.h"
#include "host/nvsimnames.h"
#include "model/nvtrxvalues.h"

namespace {

struct Outcome {
  HRESULT status = S_OK;
  LONG code = 0;
  TrxBstr message;
  TrxVariant result;
};

class Demo {
 public:
  Demo(TrxSession& session, std::ostream& out) : m_session(session), m_trx(session.Facade()), m_out(out) {}

  int Run() {
    Client();
    Root();
    Definitions();
    ApplicationMethods();
    LastError();
    Journal();
    Contents();
    BelowTheApplication();
    Lists();
    Form();
    Unload();
    Recording();
    m_out << "\nThat was the service as it stands today. `trx serve` offers all of it to a tool\n"
             "as JSON lines; docs/trx.md has the protocol.\n";
    return kTrxExitOk;
  }

 private:
  void Heading(const char* text) { m_out << "\n== " << text << "\n"; }

  static std::string Text(const TrxBstr& text) { return text.IsNull() ? "(null)" : TrxNarrow(text.View()); }

  Outcome Submit(const TrxString& descriptor, const char* method, const TrxJson& arguments) {
    Outcome outcome;
    TrxVariantStore store;
    TrxVariant args;
    std::string ignored;
    if (!arguments.is_null()) TrxJsonToVariant(arguments, args, store, ignored);
    TrxBstr ods(TrxStringView{descriptor}), name(TrxStringView(TrxWiden(method)));
    outcome.status = m_trx->Submit(ods.Get(), name.Get(), args, &outcome.result, outcome.message.Put(), &outcome.code);
    return outcome;
  }

  // One line per call: the call, its result and, when it failed, why.
  void Show(const std::string& call, const Outcome& outcome, const char* note = nullptr) {
    m_out << "  " << call << "\n      -> retVal " << TrxDescribeVariant(outcome.result) << ", errCode " << outcome.code;
    if (outcome.status != S_OK) m_out << ", hr " << outcome.status;
    m_out << "\n";
    if (outcome.code != 0) m_out << "         errMsg \"" << Text(outcome.message) << "\"\n";
    if (note) m_out << "         (" << note << ")\n";
  }

  void Client() {
    CNVSimApplication* client = m_session.Client();
    const CNVSimDescription& description = client->GetDescription();
    Heading("The simulated Norvik client");
    m_out << "Loaded " << m_session.GetAppFile() << ": " << description.GetObjects().size() << " objects on "
          << description.GetScreens().size() << " screens. Active screen \"" << TrxNarrow(client->GetActiveScreen())
          << "\", view \"" << TrxNarrow(client->GetCurrentView()) << "\".\n";
    m_out << "It attached to the service the way a page of the client does:\n";
    for (const TrxString& entry : client->GetControlLog()) m_out << "  " << TrxNarrow(entry) << "\n";
  }

  void Root() {
    Heading("GetRootObject: the descriptor of the application");
    TrxBstr ods, message;
    LONG code = 0;
    m_trx->GetRootObject(ods.Put(), message.Put(), &code);
    m_root = ods.ToString();
    m_out << "  trxODS  " << Text(ods) << "\n  errCode " << code << "\n";
    m_out << "Every object is named this way, by class and repository name from the root down.\n";
  }

  void Definitions() {
    Heading("GetObjectDefinitions: the catalogue a recording tool builds its repository from");
    for (const char* version : {"", "8.2", "9"}) {
      TrxBstr ver(TrxStringView(TrxWiden(version))), definitions, message;
      LONG code = 0;
      m_trx->GetObjectDefinitions(ver.Get(), definitions.Put(), message.Put(), &code);
      m_out << "  ver \"" << version << "\": errCode " << code;
      if (definitions.IsNull()) {
        m_out << ", no document, errMsg \"" << Text(message) << "\"\n";
        continue;
      }
      CNVTRXXmlDocument document;
      std::vector<CNVTRXXmlNode> classes;
      if (document.LoadXml(definitions.View())) document.SelectNodes(OLESTR("/*/ObjectInfo/ObjectData"), classes);
      m_out << ", a document of " << definitions.Length() << " characters describing " << classes.size()
            << " classes:\n     ";
      size_t column = 5;
      for (const CNVTRXXmlNode& data : classes) {
        TrxString name;
        data.GetAttribute(OLESTR("NorvikClassName"), name);
        const std::string text = TrxNarrow(name);
        if (column + text.size() + 1 > 88) {
          m_out << "\n     ";
          column = 5;
        }
        m_out << ' ' << text;
        column += text.size() + 1;
      }
      m_out << "\n";
    }
  }

  void ApplicationMethods() {
    Heading("Submit on the application (descriptor \"/\")");
    m_out << "Service-level methods are answered without touching the tree:\n";
    Show("GetSessionId", Submit(m_root, "GetSessionId", nullptr));
    Show("getbusytime (names of service-level methods ignore case)", Submit(m_root, "getbusytime", nullptr),
         "milliseconds the client stayed busy; about 0 for an idle client");
    m_out << "Properties of the application read by name:\n";
    for (const char* property : {"RepositoryName", "UIName", "ClassName"})
      Show(property, Submit(m_root, property, nullptr));
    m_out << "Methods of NorvApplication, checked against the catalogue first:\n";
    Show("GetClassCount(\"NorvMenu\")", Submit(m_root, "GetClassCount", "NorvMenu"));
    Show("GetClassCount(\"NorvView\")", Submit(m_root, "GetClassCount", "NorvView"),
         "views are not counted at the application level");
    Show("GetRepositoryNameByIndex(\"NorvScreen\", 0)",
         Submit(m_root, "GetRepositoryNameByIndex", TrxJson::array({"NorvScreen", 0})));
    Show("SetTimeOut(10)", Submit(m_root, "SetTimeOut", 10), "the previous time-out in seconds");
    Show("SetTimeOut(9)", Submit(m_root, "SetTimeOut", 9), "below 10 seconds is refused; the time-out stays");
    Show("SetTimeOut(60)", Submit(m_root, "SetTimeOut", 60));
    Show("ProcessKeyboardAccelerator(\"Ctrl+Shift+F9\")", Submit(m_root, "ProcessKeyboardAccelerator", "Ctrl+Shift+F9"),
         "sent to the client as a request");
    Show("ProcessKeyboardAccelerator(\"Tab\")", Submit(m_root, "ProcessKeyboardAccelerator", "Tab"),
         "refused before anything reaches the client");
    Show("Submit with a boolean argument", Submit(m_root, "GetClassCount", true),
         "only arrays, strings, integers and null are accepted");
  }

  void LastError() {
    Heading("GetLastError: the error the previous call left");
    TrxBstr message;
    LONG code = 0;
    m_trx->GetLastError(message.Put(), &code);
    m_out << "  errCode " << code << ", errMsg \"" << Text(message) << "\"\n";
  }

  void Journal() {
    Heading("What the client received");
    const auto journal = m_session.Client()->GetJournal();
    if (journal.empty()) m_out << "  (no requests)\n";
    for (const CNVSimRequestRecord& record : journal) {
      m_out << "  " << TrxNarrow(CNVSimNames::RequestName(record.requestId)) << " on \"" << TrxNarrow(record.object)
            << "\" " << TrxNarrow(record.argumentText) << ", operation id \"" << TrxNarrow(record.operationId)
            << "\", status " << record.status << "\n";
    }
  }

  void Contents() {
    Heading("GetObjectContents: the tree the service sees");
    bool failed = false;
    for (LONG mode : {1, 0}) {
      TrxBstr ods(TrxStringView{m_root}), contents, message;
      LONG code = 0;
      m_trx->GetObjectContents(mode, ods.Get(), contents.Put(), message.Put(), &code);
      m_out << "  mode " << mode << ": errCode " << code;
      if (code != 0) m_out << ", errMsg \"" << Text(message) << "\"";
      m_out << "\n";
      failed = failed || code != 0;
      std::istringstream lines(Text(contents));
      std::string text;
      int shown = 0;
      while (std::getline(lines, text) && shown < 12) {
        m_out << "     | " << text << "\n";
        ++shown;
      }
      if (std::getline(lines, text)) m_out << "     | ...\n";
    }
    if (failed)
      m_out << "The tree is built from every object of the client; until menus, toolbars, applets\n"
               "and fields have automation classes of their own it cannot be built whole\n"
               "(`trx tree --app samples/navigation.xml` shows a client that has only navigation).\n";
    m_out << "`trx tree` prints the whole tree as an outline.\n";
  }

  void BelowTheApplication() {
    Heading("Navigation: screens, page tabs, views");
    const TrxString tabs = Descriptor("NorvPageTabs[NorvPageTabs]");
    Show("NorvPageTabs GetData", Submit(tabs, "GetData", nullptr), "screens in column 0, the screen's views in 1");
    Show("NorvScreen[Accounts Screen] GetProperty(\"UIName\")",
         Submit(Descriptor("NorvScreen[Accounts Screen]"), "GetProperty", "UIName"));
    Show("NorvPageTabs GotoScreen(\"Contacts Screen\")", Submit(tabs, "GotoScreen", "Contacts Screen"));
    m_out << "  the client now shows \"" << TrxNarrow(m_session.Client()->GetActiveScreen()) << "\", view \""
          << TrxNarrow(m_session.Client()->GetCurrentView()) << "\"\n";
    Show("NorvScreen[Accounts Screen] GetProperty(\"UIName\")",
         Submit(Descriptor("NorvScreen[Accounts Screen]"), "GetProperty", "UIName"),
         "a screen other than the active one cannot be addressed");
    Show("NorvPageTabs GotoScreen(\"Accounts Screen\")", Submit(tabs, "GotoScreen", "Accounts Screen"));
    const Outcome applet = Submit(Descriptor("NorvScreen[Accounts Screen]/NorvView[Account List View]/"
                                             "NorvApplet[Account List Applet]"),
                                  "GetProperty", "UIName");
    Show("NorvApplet[Account List Applet] GetProperty(\"UIName\")", applet,
         applet.code == -1016 ? "applets and their fields have no automation classes yet" : nullptr);
  }

  // The opportunity form end to end: each field read, then the popups of
  // its date, number and currency fields driven the way a user would.
  void Form() {
    Heading("A whole form: its fields and their popups");
    Show("NorvPageTabs GotoScreen(\"Opportunities Screen\")",
         Submit(Descriptor("NorvPageTabs[NorvPageTabs]"), "GotoScreen", "Opportunities Screen"));
    const std::string form =
        "NorvScreen[Opportunities Screen]/NorvView[Opportunity List View]/NorvApplet[Opportunity Form Applet]/";
    m_out << "Each field of the Opportunity Form Applet, its class chosen by the applet from the\n"
             "client's \"Type\" of the field:\n";
    for (const char* field :
         {"NorvText[Name]", "NorvPicklist[Sales Stage]", "NorvCalculator[Probability]", "NorvCalendar[Close Date]",
          "NorvCalendar[Next Call]", "NorvCalendar[Meeting Time]", "NorvCurrency[Revenue]", "NorvText[Portal Password]",
          "NorvText[Sales Team]", "NorvRichText[Notes]", "NorvInkData[Signature]", "NorvText[Opportunity Id]",
          "NorvCheckbox[Discount Approved]"}) {
      const TrxString descriptor = Descriptor((form + field).c_str());
      Outcome value;
      for (const char* property : {"Text", "ActiveItem", "CheckState"})  // the field's value, by its kind
        if ((value = Submit(descriptor, "GetProperty", property)).code == 0) break;
      m_out << "  " << field << " \"" << TrxNarrow(TrxText(Submit(descriptor, "UIName", nullptr).result))
            << "\": " << TrxDescribeVariant(value.result) << "\n";
    }
    struct Step {
      const char* field;
      const char* method;
      TrxJson arguments;
      const char* note;
    };
    const Step steps[] = {
        {"NorvCalendar[Close Date]", "OpenPopup", nullptr, nullptr},
        {"NorvCalendar[Close Date]", "IsOpen", nullptr, "the calendar is open"},
        {"NorvCalendar[Close Date]", "SetDay", 12, "the client rewrites the date"},
        {"NorvCalendar[Close Date]", "NextMonth", nullptr, nullptr},
        {"NorvCalendar[Close Date]", "ProcessKey", "RightArrow", "sent as the key code 39"},
        {"NorvCalendar[Close Date]", "ClosePopup", nullptr, nullptr},
        {"NorvCalendar[Close Date]", "Text", nullptr, nullptr},
        {"NorvCalendar[Meeting Time]", "CalendarType", nullptr, "from the client's type utcdatetime"},
        {"NorvCalendar[Meeting Time]", "SelectTimeZone", "CET", nullptr},
        {"NorvCalendar[Meeting Time]", "Text", nullptr, nullptr},
        {"NorvCalculator[Probability]", "ClickKeys", "C75", "one click per key"},
        {"NorvCalculator[Probability]", "ClickKeys", "8%", "the client has no % key: the clicks stop there"},
        {"NorvCalculator[Probability]", "Text", nullptr, nullptr},
        {"NorvCurrency[Revenue]", "OpenPopup", nullptr, "the popup's sub-fields take the field's parts"},
        {"NorvCurrency[Revenue]", "GetRepositoryName", TrxJson::array({"NorvCalculator", "Amount:"}), nullptr},
        {"NorvCurrency[Revenue]/NorvText[Currency Code]", "SetText", "EUR", nullptr},
        {"NorvCurrency[Revenue]/NorvCalculator[Amount]", "ClickKeys", "C310000", nullptr},
        {"NorvCurrency[Revenue]/NorvCalendar[Exchange Date]", "SetText", "7/1/2024", nullptr},
        {"NorvCurrency[Revenue]", "ClosePopup", nullptr, "the client writes the sub-fields back"},
        {"NorvCurrency[Revenue]", "Text", nullptr, nullptr},
        {"NorvText[Opportunity Id]", "SetText", "1-OPP-1", "a read-only field"},
    };
    m_out << "Driving the popups:\n";
    for (const Step& step : steps)
      Show(std::string(step.field) + " " + step.method +
               (step.arguments.is_null() ? "" : "(" + step.arguments.dump() + ")"),
           Submit(Descriptor((form + step.field).c_str()), step.method, step.arguments), step.note);
  }

  void Lists() {
    Heading("A list: its grid, sorted, a cell edited, a drill-down");
    const char* path = "NorvScreen[Accounts Screen]/NorvView[Account List View]/NorvApplet[Account List Applet]/"
                       "NorvList[NorvList]";
    const TrxString list = Descriptor(path);
    Show("NorvList GetData", Submit(list, "GetData", nullptr), "the column names, then one row per row shown");
    Show("NorvList DescendSort(\"Name\")", Submit(list, "DescendSort", "Name"),
         "on a column not sorted yet the service clicks its head twice");
    Show("NorvList GetCellText(\"Name\", 0)", Submit(list, "GetCellText", TrxJson{"Name", 0}));
    Show("NorvList ActivateRow(1)", Submit(list, "ActivateRow", 1));
    Show("NorvList/NorvText[Main Phone] SetText(\"555-0190\")",
         Submit(Descriptor((std::string(path) + "/NorvText[Main Phone]").c_str()), "SetText", "555-0190"),
         "the list moves the cell focus to the active row's cell first");
    Show("NorvList GetCellText(\"Main Phone\", 1)", Submit(list, "GetCellText", TrxJson{"Main Phone", 1}));
    Show("NorvList DrillDownColumn(\"Name\", 1)", Submit(list, "DrillDownColumn", TrxJson{"Name", 1}));
    m_out << "  the client now shows view \"" << TrxNarrow(m_session.Client()->GetCurrentView()) << "\"\n";
    m_session.Client()->GotoView(OLESTR("Account List View"));
  }

  TrxString Descriptor(const char* path) {
    TrxString descriptor;
    std::string error;
    TrxDescriptorFromObject(path, descriptor, error);
    return descriptor;
  }

  void Unload() {
    Heading("When the client unloads");
    CNVSimApplication* client = m_session.Client();
    client->Unload();
    Show("after OnUnload: GetClassCount(\"NorvMenu\")", Submit(m_root, "GetClassCount", "NorvMenu"));
    const HRESULT attached = m_session.Attach();
    m_out << "  the page comes back: AttachAppObject and OnAppReady, status " << attached << "\n";
    Show("GetClassCount(\"NorvMenu\")", Submit(m_root, "GetClassCount", "NorvMenu"));
  }

  // A user action on the client while the service records, and the
  // events a connected tool receives for it.
  size_t Play(TrxEventSink& sink, const std::string& what, const OLECHAR* object, LONG eventId,
              std::vector<std::pair<TrxString, TrxString>> arguments) {
    CNVSimUserAction action;
    action.object = object;
    action.eventId = eventId;
    action.arguments = std::move(arguments);
    std::string argumentText;
    for (const auto& argument : action.arguments)
      argumentText += (argumentText.empty() ? "" : ",") + TrxNarrow(argument.second);
    const HRESULT status = m_session.Client()->Play(action);
    m_out << "  " << what << ": the client reports " << TrxNarrow(CNVSimNames::RequestName(eventId)) << " ("
          << argumentText << ") on "
          << (action.object.empty() ? "the application" : "\"" + TrxNarrow(action.object) + "\"") << ", status "
          << status << "\n";
    const std::vector<std::string> events = sink.TakeLines();
    if (events.empty()) m_out << "      -> no event\n";
    for (const std::string& event : events) m_out << "      -> " << TrxDescribeEvent(event) << "\n";
    return events.size();
  }

  void Recording() {
    Heading("Recording: the user's actions as a tool receives them");
    TrxComPtr<TrxEventSink> sink = TrxEventSink::Create();
    if (!sink->Connect(m_trx)) {
      m_out << "  The service offers no connection point for its events: a tool cannot receive any.\n";
      return;
    }
    m_out << "A tool advises its sink at the service's connection point for _INVTRXEvents and starts\n"
             "recording; the service switches the client's recorder on:\n";
    TrxBstr message;
    LONG code = 0;
    m_trx->StartRecording(message.Put(), &code);
    m_out << "  StartRecording: errCode " << code << ", client recorder "
          << (m_session.Client()->IsRecorderEnabled() ? "on" : "off") << "\n";
    m_out << "The user presses keys; the client reports each with its key code and the Shift, Ctrl\n"
             "and Alt states, and the service fires Record with the key as text:\n";
    const auto key = [](const OLECHAR* code, bool shift, bool ctrl, bool alt) {
      auto flag = [](bool on) { return TrxString(on ? OLESTR("TRUE") : OLESTR("FALSE")); };
      return std::vector<std::pair<TrxString, TrxString>>{
          {OLESTR("0"), code}, {OLESTR("1"), flag(shift)}, {OLESTR("2"), flag(ctrl)}, {OLESTR("3"), flag(alt)}};
    };
    Play(*sink, "Ctrl+N", OLESTR(""), REQID_PROCESSACCELERATOR, key(OLESTR("78"), false, true, false));
    Play(*sink, "Alt+Q", OLESTR(""), REQID_PROCESSACCELERATOR, key(OLESTR("81"), false, false, true));
    Play(*sink, "Shift+Ctrl+F9", OLESTR(""), REQID_PROCESSACCELERATOR, key(OLESTR("120"), true, true, false));
    m_out << "An action on an object below the application:\n";
    Play(*sink, "clicking the Contacts tab", OLESTR("Screen"), REQID_NAVCONTROL_GOTOSCREEN,
         {{OLESTR("0"), OLESTR("Contacts Screen")}});
    Play(*sink, "clicking the Accounts tab", OLESTR("Screen"), REQID_NAVCONTROL_GOTOSCREEN,
         {{OLESTR("0"), OLESTR("Accounts Screen")}});
    const size_t typed =
        Play(*sink, "typing a name", OLESTR("Accounts Screen/Account List View/Account Form Applet/Name"),
             REQID_SETVALUE, {{OLESTR("0"), OLESTR("Acme Group")}});
    if (typed == 0)
      m_out << "  (applets and fields have no automation classes yet, so the service cannot name\n"
               "   the field and records nothing)\n";
    m_out << "Popups on the opportunity form (samples/form-actions.jsonl has every event a form records):\n";
    const TrxString form = OLESTR("Opportunities Screen/Opportunity List View/Opportunity Form Applet/");
    Play(*sink, "clicking the Opportunities tab", OLESTR("Screen"), REQID_NAVCONTROL_GOTOSCREEN,
         {{OLESTR("0"), OLESTR("Opportunities Screen")}});
    Play(*sink, "picking a day", (form + OLESTR("Close Date")).c_str(), REQID_SELECTDAY, {{OLESTR("0"), OLESTR("3")}});
    Play(*sink, "the down arrow", (form + OLESTR("Close Date")).c_str(), REQID_ARROW_KEY,
         {{OLESTR("0"), OLESTR("40")}});
    Play(*sink, "a key that is no arrow", (form + OLESTR("Close Date")).c_str(), REQID_ARROW_KEY,
         {{OLESTR("0"), OLESTR("41")}});
    m_out << "  (the service cannot name it, so it records nothing rather than a call that cannot be played)\n";
    Play(*sink, "a calculator key", (form + OLESTR("Probability")).c_str(), REQID_SELECTCALCKEY,
         {{OLESTR("0"), OLESTR("7")}});
    Play(*sink, "a currency code in the popup", (form + OLESTR("Revenue/Currency Code")).c_str(), REQID_SETVALUE,
         {{OLESTR("0"), OLESTR("SEK")}});
    Play(*sink, "closing the currency popup", (form + OLESTR("Revenue")).c_str(), REQID_CLOSEPOPUP, {});
    code = 0;
    m_trx->StopRecording(message.Put(), &code);
    m_out << "  StopRecording: errCode " << code << ", client recorder "
          << (m_session.Client()->IsRecorderEnabled() ? "on" : "off") << "\n";
    for (const std::string& event : sink->TakeLines()) m_out << "      -> " << TrxDescribeEvent(event) << "\n";
    sink->Disconnect();
    m_out << "`trx record` plays a file of such actions; `trx serve` writes the events as lines.\n";
  }

  TrxSession& m_session;
  INVTRXAutomation* m_trx;
  std::ostream& m_out;
  TrxString m_root;
};

}  // namespace

int TrxRunDemo(TrxSession& session, std::ostream& out) { return Demo(session, out).Run(); }

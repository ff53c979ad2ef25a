// GetObjectContents (mode 1, the whole tree) of generated clients: with
// navigation only (S screens of V views each, every view with its L2 tab),
// and with form applets full of fields.
// Recording is on, so the idle pause does not apply and the figure is the
// service's own cost.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "bench/trxbenchservice.h"

namespace {

// A description of `screens` screens with `views` views each.
std::string Generate(int screens, int views) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("trx-bench-contents-" + std::to_string(screens) + "x" + std::to_string(views) + ".xml");
  std::ofstream out(path);
  out << "<application name=\"Generated\" sessionId=\"GEN\" htmlId=\"s_0\">\n"
         "  <object type=\"NAVCONTROL\" name=\"Screen\" htmlId=\"s_sctrl\"/>\n";
  for (int s = 0; s < screens; ++s) {
    std::string names, displayNames;
    for (int v = 0; v < views; ++v) {
      names += (v ? "|" : "") + std::string("View ") + std::to_string(s) + "." + std::to_string(v);
      displayNames += (v ? "|" : "") + std::string("Tab ") + std::to_string(v);
    }
    out << "  <screen name=\"Screen " << s << "\" displayName=\"Screen " << s << "\">\n"
        << "    <object type=\"NAVCONTROL\" name=\"AggregateViews\" htmlId=\"s_l2_" << s << "\">\n"
        << "      <property name=\"ViewNames\" type=\"strings\" value=\"" << names << "\"/>\n"
        << "      <property name=\"ViewDisplayNames\" type=\"strings\" value=\"" << displayNames << "\"/>\n"
        << "    </object>\n";
    for (int v = 0; v < views; ++v)
      out << "    <object type=\"VIEW\" name=\"View " << s << "." << v << "\" displayName=\"Tab " << v
          << "\"><property name=\"ViewType\">Standard</property></object>\n";
    out << "  </screen>\n";
  }
  out << "</application>\n";
  return path.string();
}

// The whole tree (mode 1) of the client of `appFile`, recording on.
void RunContents(benchmark::State& state, const std::string& appFile) {
  TrxBenchService service(appFile);
  if (!service.Ready(state)) return;
  TrxBstr message;
  LONG code = 0;
  service.facade->StartRecording(message.Put(), &code);
  TrxBstr root(OLESTR("<Obj ClassName=\"NorvApplication\" RepositoryName=\"Norvik\"/>"));
  LONG failures = 0;
  size_t length = 0;
  for (auto _ : state) {
    TrxBstr xml;
    service.facade->GetObjectContents(1, root.Get(), xml.Put(), message.Put(), &code);
    if (code != 0) ++failures;
    length = xml.View().size();
  }
  service.facade->StopRecording(message.Put(), &code);
  state.counters["failures"] = failures;
  state.counters["chars"] = static_cast<double>(length);
}

void BM_ContentsOfTheWholeTree(benchmark::State& state) {
  RunContents(state, Generate(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
}

// A description whose current view holds form applets of eleven host
// objects each (the applet; a text, date, number, check box, drop-down and
// text area field; a currency field with its three sub-fields) and two
// buttons, `objects` host objects in all with the screen and the view.
std::string GenerateForms(int objects) {
  const auto path = std::filesystem::temp_directory_path() / ("trx-bench-forms-" + std::to_string(objects) + ".xml");
  std::ofstream out(path);
  out << "<application name=\"Generated\" sessionId=\"GEN\" htmlId=\"s_0\">\n"
         "  <object type=\"NAVCONTROL\" name=\"Screen\" htmlId=\"s_sctrl\"/>\n"
         "  <screen name=\"Forms\"><object type=\"VIEW\" name=\"Form View\" htmlId=\"s_v\">\n";
  const auto field = [&](const std::string& id, const char* name, const char* type, const char* value) {
    out << "      <object type=\"CONTROL\" name=\"" << name << "\" htmlId=\"" << id << "_" << name[0] << "\">"
        << "<property name=\"Type\">" << type << "</property><property name=\"Value\">" << value << "</property>"
        << "<property name=\"IsReadOnly\" type=\"bool\">false</property>";
  };
  for (int a = 0; a * 11 + 2 < objects; ++a) {
    const std::string id = "s_" + std::to_string(a);
    out << "    <object type=\"APPLET\" name=\"Applet " << a << "\" htmlId=\"" << id << "\">\n"
        << "      <property name=\"ButtonNames\" type=\"strings\" value=\"WriteRecord|UndoRecord\"/>\n"
        << "      <property name=\"ButtonDisplayNames\" type=\"strings\" value=\"Save|Cancel\"/>\n"
        << "      <property name=\"ButtonStates\" type=\"strings\" value=\"Enable|Enable\"/>\n"
        << "      <property name=\"ButtonHTMLIds\" type=\"strings\" value=\"" << id << "_1|" << id << "_2\"/>\n";
    field(id, "Name", "text", "Acme");
    out << "</object>\n";
    field(id, "Due", "date", "9/30/2024");
    out << "<property name=\"Day\" type=\"int\">30</property><property name=\"Month\" type=\"int\">9</property>"
           "<property name=\"Year\" type=\"int\">2024</property></object>\n";
    field(id, "Probability", "number", "60");
    out << "</object>\n";
    field(id, "Key", "checkbox", "Y");
    out << "</object>\n";
    field(id, "Status", "select", "Open");
    out << "<property name=\"LOVItems\" type=\"strings\" value=\"Open|Closed\"/></object>\n";
    field(id, "Description", "textarea", "Text");
    out << "</object>\n";
    field(id, "Revenue", "currency", "100 USD");
    out << "<property name=\"Amount\">100</property><property name=\"CurrencyCode\">USD</property>\n"
           "        <object type=\"SUBCONTROL\" name=\"Currency Code\"><property "
           "name=\"Type\">text</property></object>\n"
           "        <object type=\"SUBCONTROL\" name=\"Amount\"><property "
           "name=\"Type\">calculator</property></object>\n"
           "        <object type=\"SUBCONTROL\" name=\"Exchange Date\"><property "
           "name=\"Type\">calendar</property></object>\n"
           "      </object>\n    </object>\n";
  }
  out << "  </object></screen>\n</application>\n";
  return path.string();
}

// The whole tree of a client of about `objects` host objects, most of them
// fields of form applets.
void BM_ContentsOfForms(benchmark::State& state) { RunContents(state, GenerateForms(static_cast<int>(state.range(0)))); }

BENCHMARK(BM_ContentsOfForms)
    ->Arg(100)
    ->Arg(500)
    ->Arg(2000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// Arguments: screens, views per screen.
BENCHMARK(BM_ContentsOfTheWholeTree)
    ->Args({20, 10})
    ->Args({5, 10})
    ->Args({80, 10})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

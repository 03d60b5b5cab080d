#include "lv2/turtle.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace lv2 {

namespace {

const char kPrefixes[] =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix param: <http://lv2plug.in/ns/ext/parameters#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// A Turtle string literal.
std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* c = text ? text : ""; *c; ++c) {
    if (*c == '"' || *c == '\\') out += '\\';
    out += *c;
  }
  return out + "\"";
}

// A decimal literal: always with a point, so Turtle reads it as a number with a fraction.
std::string Decimal(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  if (!std::strpbrk(buf, ".eE")) std::strcat(buf, ".0");
  return buf;
}

std::string Number(const PlugParam& p, double v) {
  if (p.IsIntegerKind()) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(std::lround(v)));
    return buf;
  }
  return Decimal(v);
}

const char* UnitFor(const char* label) {
  if (!label) return nullptr;
  if (std::strcmp(label, "Hz") == 0) return "units:hz";
  if (std::strcmp(label, "%") == 0) return "units:pc";
  if (std::strcmp(label, "s") == 0) return "units:s";
  return nullptr;
}

std::string Iri(const std::string& uri) {
  return "<" + uri + ">";
}

// "N.N.N" as LV2's minor and micro version (the major version is part of the URI's meaning).
void VersionParts(const char* version, int* minor, int* micro) {
  int major = 0;
  *minor = 0;
  *micro = 0;
  std::sscanf(version ? version : "", "%d.%d.%d", &major, minor, micro);
}

}  // namespace

std::string PortSymbol(const char* name) {
  std::string out;
  bool gap = false;
  for (const char* c = name ? name : ""; *c; ++c) {
    const unsigned char u = static_cast<unsigned char>(*c);
    if (std::isalnum(u)) {
      if (gap && !out.empty()) out += '_';
      out += static_cast<char>(std::tolower(u));
      gap = false;
    } else {
      gap = true;
    }
  }
  if (out.empty() || std::isdigit(static_cast<unsigned char>(out[0]))) out = "p_" + out;
  return out;
}

std::string StateKeyUri(const PlugIdentity& id, const char* paramName) {
  return std::string(id.lv2Uri) + "#" + PortSymbol(paramName);
}

std::string PresetUri(const PlugIdentity& id, int slot) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "#preset-%03d", slot);
  return std::string(id.lv2Uri) + buf;
}

std::string UiUri(const PlugIdentity& id) {
  return std::string(id.lv2Uri) + "#ui";
}

std::string DspBinaryName(const PlugIdentity& id) {
  return std::string(id.name) + ".so";
}

std::string UiBinaryName(const PlugIdentity& id) {
  return std::string(id.name) + "_ui.so";
}

std::string ManifestTurtle(const PlugIdentity& id, IPlugBase& plug) {
  std::string t = kPrefixes;
  t += Iri(id.lv2Uri) + "\n  a lv2:Plugin, lv2:InstrumentPlugin ;\n  lv2:binary <" +
       DspBinaryName(id) + "> ;\n  rdfs:seeAlso <plugin.ttl> .\n\n";
  t += Iri(UiUri(id)) + "\n  a ui:X11UI ;\n  ui:binary <" + UiBinaryName(id) +
       "> ;\n  rdfs:seeAlso <plugin.ttl> .\n";
  for (int p = 0; p < plug.PresetCount(); ++p) {
    if (!plug.PresetInitialised(p)) continue;
    t += "\n" + Iri(PresetUri(id, p)) + "\n  a pset:Preset ;\n  lv2:appliesTo " + Iri(id.lv2Uri) +
         " ;\n  rdfs:label " + Quoted(plug.PresetNameAt(p)) +
         " ;\n  rdfs:seeAlso <presets.ttl> .\n";
  }
  return t;
}

std::string PluginTurtle(const PlugIdentity& id, IPlugBase& plug) {
  int minor = 0, micro = 0;
  VersionParts(id.version, &minor, &micro);
  std::string t = kPrefixes;
  t += Iri(id.lv2Uri) + "\n  a lv2:Plugin, lv2:InstrumentPlugin, doap:Project ;\n";
  t += "  doap:name " + Quoted(id.name) + " ;\n";
  t += "  rdfs:comment " + Quoted(id.description) + " ;\n";
  t += "  doap:maintainer [ foaf:name " + Quoted(id.vendor) + " ; foaf:homepage <https://" +
       std::string(id.url) + "/> ] ;\n";
  t += "  lv2:minorVersion " + std::to_string(minor) + " ;\n  lv2:microVersion " +
       std::to_string(micro) + " ;\n";
  t += "  lv2:requiredFeature urid:map ;\n";
  t += "  lv2:optionalFeature lv2:hardRTCapable, opts:options, bufsz:boundedBlockLength ;\n";
  t +=
      "  opts:supportedOption param:sampleRate, bufsz:maxBlockLength, bufsz:nominalBlockLength ;\n";
  t += "  lv2:extensionData state:interface ;\n";
  t += "  ui:ui " + Iri(UiUri(id)) + " ;\n";
  for (int i = 0; i < plug.ParamCount(); ++i) {
    const PlugParam& p = *plug.ParamAt(i);
    t += i == 0 ? "  lv2:port [\n" : "  ] , [\n";
    t += "    a lv2:InputPort, lv2:ControlPort ;\n";
    t += "    lv2:index " + std::to_string(i) + " ;\n";
    t += "    lv2:symbol " + Quoted(PortSymbol(p.NameText()).c_str()) + " ;\n";
    t += "    lv2:name " + Quoted(p.NameText()) + " ;\n";
    t += "    lv2:default " + Number(p, p.DefaultValue()) + " ;\n";
    t += "    lv2:minimum " + Number(p, p.Min()) + " ;\n";
    t += "    lv2:maximum " + Number(p, p.Max()) + " ;\n";
    if (const char* unit = UnitFor(p.LabelText()))
      t += "    units:unit " + std::string(unit) + " ;\n";
    if (p.IsIntegerKind()) {
      t += "    lv2:portProperty lv2:integer";
      if (p.ValueTextCount() > 0) t += ", lv2:enumeration";
      t += " ;\n";
      for (int v = 0; v < p.ValueTextCount(); ++v) {
        double value = 0.0;
        if (!p.ValueFromText(p.ValueTextAt(v), &value)) continue;
        t += "    lv2:scalePoint [ rdfs:label " + Quoted(p.ValueTextAt(v)) + " ; rdf:value " +
             Number(p, value) + " ] ;\n";
      }
    } else if (p.Step() > 0.0) {
      // The host's slider moves in the parameter's own steps.
      const long steps = std::lround((p.Max() - p.Min()) / p.Step()) + 1;
      t += "    pprops:rangeSteps " + std::to_string(steps) + " ;\n";
    }
    t.erase(t.size() - 3);  // the last " ;"
    t += "\n";
  }
  const int audio0 = AudioOutPort(plug, 0);
  const char* const channelNames[2] = {"Left", "Right"};
  for (int c = 0; c < 2; ++c) {
    t += "  ] , [\n    a lv2:OutputPort, lv2:AudioPort ;\n    lv2:index " +
         std::to_string(audio0 + c) + " ;\n    lv2:symbol \"out_" + (c == 0 ? "l" : "r") +
         "\" ;\n    lv2:name " + Quoted(channelNames[c]) + "\n";
  }
  t += "  ] , [\n    a lv2:InputPort, atom:AtomPort ;\n    atom:bufferType atom:Sequence ;\n"
       "    atom:supports time:Position, midi:MidiEvent ;\n    lv2:designation lv2:control ;\n"
       "    lv2:index " +
       std::to_string(EventInPort(plug)) +
       " ;\n    lv2:symbol \"control\" ;\n    lv2:name \"Control\"\n  ] .\n\n";
  t += Iri(UiUri(id)) + "\n  a ui:X11UI ;\n  ui:binary <" + UiBinaryName(id) + "> ;\n";
  t += "  lv2:requiredFeature ui:idleInterface, ui:parent ;\n";
  t += "  lv2:optionalFeature ui:resize, ui:touch, opts:options ;\n";
  t += "  opts:supportedOption ui:scaleFactor, param:sampleRate ;\n";
  t += "  lv2:extensionData ui:idleInterface, opts:interface .\n";
  return t;
}

std::string PresetsTurtle(const PlugIdentity& id, IPlugBase& plug) {
  std::string t = kPrefixes;
  for (int p = 0; p < plug.PresetCount(); ++p) {
    if (!plug.PresetInitialised(p)) continue;
    t += Iri(PresetUri(id, p)) + "\n  a pset:Preset ;\n  lv2:appliesTo " + Iri(id.lv2Uri) +
         " ;\n  rdfs:label " + Quoted(plug.PresetNameAt(p));
    // A preset applies only the parameters its restore applies (a slot with no stored values
    // applies none), so a host selecting it leaves the others as they are.
    const bool stored = plug.SelectPreset(p);
    bool first = true;
    for (int i = 0; stored && i < plug.ParamCount(); ++i) {
      if (!plug.PresetAppliesParam(i, p)) continue;
      const PlugParam& param = *plug.ParamAt(i);
      t += first ? " ;\n  lv2:port [\n" : "  ] , [\n";
      first = false;
      t += "    lv2:symbol " + Quoted(PortSymbol(param.NameText()).c_str()) + " ;\n";
      // Always a decimal: lilv hands an integer literal to hosts as an Int, and ports are floats.
      t += "    pset:value " + Decimal(param.Value()) + "\n";
    }
    t += first ? " .\n\n" : "  ] .\n\n";
  }
  return t;
}

}  // namespace lv2

// Printing a report as tab-separated text or as JSON.
#include <cstdio>
#include <ostream>

#include "cli/Cli.h"

namespace cli {

void Table::AddRow(std::vector<Value> row) {
  row.resize(m_columns.size());
  m_rows.push_back(std::move(row));
}

Table& Report::AddTable(const std::string& name, std::vector<std::string> columns) {
  m_tables.emplace_back(name, std::move(columns));
  return m_tables.back();
}

std::string JsonQuote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);  // UTF-8 passes through
        }
    }
  }
  return out + "\"";
}

namespace {

std::string Json(const Value& v) { return v.null ? "null" : v.number ? v.text : JsonQuote(v.text); }

// Text cells are one line each: a tab or line break inside a value (a CD-TEXT
// title, say) would shift the columns, so it becomes a space.
std::string Cell(const Value& v) {
  std::string s = v.text;
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

}  // namespace

void Report::Print(std::ostream& out, bool json) const {
  if (json) {
    out << "{";
    bool first = true;
    for (const auto& [k, v] : m_fields) {
      out << (first ? "\n" : ",\n") << "  " << JsonQuote(k) << ": " << Json(v);
      first = false;
    }
    for (const Table& t : m_tables) {
      out << (first ? "\n" : ",\n") << "  " << JsonQuote(t.Name()) << ": [";
      first = false;
      for (std::size_t r = 0; r < t.Rows().size(); ++r) {
        out << (r ? ",\n" : "\n") << "    {";
        for (std::size_t c = 0; c < t.Columns().size(); ++c)
          out << (c ? ", " : "") << JsonQuote(t.Columns()[c]) << ": " << Json(t.Rows()[r][c]);
        out << "}";
      }
      out << (t.Rows().empty() ? "]" : "\n  ]");
    }
    out << "\n}\n";
    return;
  }
  for (const auto& [k, v] : m_fields) out << k << '\t' << Cell(v) << '\n';
  bool gap = !m_fields.empty();
  for (const Table& t : m_tables) {
    if (gap) out << '\n';
    gap = true;
    for (std::size_t c = 0; c < t.Columns().size(); ++c) out << (c ? "\t" : "") << t.Columns()[c];
    out << '\n';
    for (const auto& row : t.Rows()) {
      for (std::size_t c = 0; c < row.size(); ++c) out << (c ? "\t" : "") << Cell(row[c]);
      out << '\n';
    }
  }
}

}  // namespace cli

#include "tests/test_data.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kestrion::test {

namespace {

std::string Unescape(const std::string& field) {
  if (field == "<empty>") return {};
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field.compare(i, 2, "\\x") == 0 && i + 3 < field.size()) {
      out.push_back(static_cast<char>(std::stoi(field.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

}  // namespace

std::string DataPath(const std::string& relative) {
  return std::string(KESTRION_TEST_DATA) + "/" + relative;
}

std::string ReadDataFile(const std::string& relative) {
  std::ifstream in(DataPath(relative), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test data " + relative);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::vector<std::string>> ReadVectors(const std::string& relative, bool unescape) {
  std::istringstream in(ReadDataFile(relative));
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    if (unescape) {
      for (std::string& f : fields) f = Unescape(f);
    }
    rows.push_back(std::move(fields));
  }
  return rows;
}

}  // namespace kestrion::test

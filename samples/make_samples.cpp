// Writes the sample tables shipped with the program, with the engine itself: buchungen.dbf
// (and its memo file buchungen.dbt), a small German bookkeeping journal at dBASE IV level in
// code page 1252. Usage: make_samples [FOLDER] (default: the current folder). The content is
// fixed; only the header's date of last update follows the day it is made.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "dbf/dbf_common.h"
#include "dbf/dbf_dbffile.h"
#include "dbf/dbf_decode.h"
#include "dbf/dbf_layout.h"
#include "platform/codepage.h"
#include "platform/datetime.h"
#include "platform/settings.h"

namespace {

constexpr int kCodePage = 1252;
constexpr int32_t kMemoBlockSize = 512;

struct Field {
  const char* name;
  char type;
  int size, decimals;
};

// Belegnummer, Datum, Buchungstext, Soll- und Habenkonto, Betrag, Steuersatz, bezahlt, Notiz.
const Field kFields[] = {
    {"BELEGNR", 'N', 6, 0}, {"DATUM", 'D', 8, 0},   {"TEXT", 'C', 40, 0},
    {"SOLL", 'N', 4, 0},    {"HABEN", 'N', 4, 0},   {"BETRAG", 'N', 12, 2},
    {"STEUER", 'N', 5, 1},  {"BEZAHLT", 'L', 1, 0}, {"NOTIZ", 'M', 10, 0},
};

struct Posting {
  const char* text;
  int debit, credit;
  double amount, tax;
};

const Posting kPostings[] = {
    {"Büromaterial Müller & Söhne", 4930, 1200, 86.45, 19},
    {"Miete Geschäftsräume März", 4210, 1200, 1450.00, 0},
    {"Erlöse Beratung Köhler GmbH", 1200, 8400, 2380.00, 19},
    {"Porto Deutsche Post", 4910, 1000, 12.75, 0},
    {"Fachbücher Straßenbau", 4940, 1200, 119.90, 7},
    {"Bewirtung Geschäftsessen Brühl", 4650, 1000, 74.30, 19},
    {"Strom Stadtwerke Gießen", 4240, 1200, 212.18, 19},
    {"Erlöse Schulung Jäger KG", 1200, 8400, 1190.00, 19},
    {"Kfz-Versicherung Größe L", 4520, 1200, 612.00, 0},
    {"Tankquittung Weißenfels", 4530, 1000, 68.91, 19},
    {"Telefon und Internet", 4920, 1200, 49.99, 19},
    {"Reisekosten Übernachtung Fürth", 4660, 1000, 98.00, 7},
    {"Erlöse Software Großhandel Süß", 1200, 8400, 4760.00, 19},
    {"Kontoführungsgebühren", 4970, 1200, 9.90, 0},
    {"Zinsen Darlehen Grünwald", 2100, 1200, 145.62, 0},
    {"Werbung Anzeige Südkurier", 4600, 1200, 357.00, 19},
    {"Reparatur Drucker Schäfer", 4805, 1000, 83.30, 19},
    {"Erlöse Wartung Bäckerei Groß", 1200, 8400, 595.00, 19},
    {"Getränke Büroküche", 4900, 1000, 23.47, 7},
    {"Honorar Steuerberaterin Möller", 4955, 1200, 833.00, 19},
    {"Gehälter März", 4120, 1200, 7850.00, 0},
    {"Sozialabgaben März", 4130, 1200, 1612.45, 0},
    {"Erlöse Lizenz Übersee AG", 1200, 8338, 3200.00, 0},
    {"Reinigung Büro Weiß", 4250, 1200, 178.50, 19},
    {"Büromöbel Schreibtisch", 410, 1200, 549.00, 19},
    {"Fortbildung Seminar Düsseldorf", 4945, 1200, 690.20, 19},
    {"Briefumschläge und Etiketten", 4930, 1000, 17.85, 19},
    {"Erlöse Projekt Straße 12", 1200, 8400, 11900.00, 19},
    {"Bahnfahrt München–Köln", 4670, 1000, 139.80, 7},
    {"Mitgliedsbeitrag Kammer", 4380, 1200, 240.00, 0},
    {"Erlöse Beratung Größer & Co", 1200, 8400, 1428.00, 19},
    {"Wasser und Abwasser", 4240, 1200, 44.10, 7},
    {"Zeitschriften Abonnement", 4940, 1200, 31.50, 7},
    {"Geschenke Kunden (unter 50 €)", 4630, 1000, 47.60, 19},
    {"Erlöse Vortrag Universität", 1200, 8400, 450.00, 19},
    {"Softwaremiete Buchhaltung", 4964, 1200, 35.70, 19},
    {"Parkgebühren Flughafen", 4530, 1000, 28.00, 19},
    {"Rückerstattung Überzahlung", 8400, 1200, 119.00, 19},
    {"Erlöse Workshop Fußgängerzone", 1200, 8400, 952.00, 19},
    {"Heizöl Lieferung Jänner", 4230, 1200, 1034.66, 19},
    {"Kopierpapier 10 Kartons", 4930, 1200, 214.20, 19},
    {"Erlöse Gutachten Ölmühle", 1200, 8400, 2856.00, 19},
    {"Versand Päckchen DHL", 4910, 1000, 15.49, 19},
    {"Spende Sportverein Blau-Weiß", 1800, 1200, 100.00, 0},
    {"Erlöse Beratung Hörmann", 1200, 8400, 1785.00, 19},
    {"Leasingrate Fahrzeug", 4570, 1200, 389.00, 19},
    {"Blumen Empfang", 4900, 1000, 29.95, 7},
    {"Erlöse Seminar Weißbier-Brauerei", 1200, 8400, 2142.00, 19},
    {"Umsatzsteuer-Vorauszahlung", 1780, 1200, 1203.47, 0},
    {"Kassendifferenz ausgeglichen", 4900, 1000, 3.12, 0},
};

// Notes for some postings: short texts, and one that spans several memo blocks.
std::string NoteFor(int index) {
  switch (index % 7) {
    case 0:
      return "Beleg liegt im Ordner \"Eingang\".";
    case 3:
      return "Rückfrage bei Frau Weiß: Skonto 2 % innerhalb von 14 Tagen.\r\n"
             "Zahlung über Überweisung veranlasst.";
    default:
      break;
  }
  if (index == 12) {
    std::string text = "Projektübersicht:\r\n";
    for (int line = 1; line <= 20; ++line)
      text += "Position " + std::to_string(line) +
              ": Leistung gemäß Angebot, "
              "abgerechnet nach Aufwand.\r\n";
    return text;
  }
  return "";
}

void Make(const std::string& folder) {
  platform::SetSettings(platform::SettingsForLocale("de_DE"));
  dbf::ResetDbfGlobals();
  const std::string path = folder + "/buchungen.dbf";
  {
    dbf::TDbfFieldDefs defs;
    defs.SetDbfVersion(dbf::kDbfVersionDBase4);
    for (const Field& field : kFields) {
      dbf::TDbfFieldDef& def = defs.Add();
      def.FieldName = field.name;
      def.SetSize(field.size);
      def.SetPrecision(field.decimals);
      def.SetNativeFieldType(field.type);
    }
    dbf::TDbfFile table(path);
    table.SetMode(dbf::pfExclusiveCreate);
    table.SetAutoCreate(true);
    table.SetDbfVersion(dbf::kDbfVersionDBase4);
    table.Open();
    table.CreateTable(defs, kMemoBlockSize);
  }
  dbf::TDbfFile table(path);
  table.SetMode(dbf::pfExclusiveOpen);
  table.Open();
  std::vector<uint8_t> record(static_cast<size_t>(table.GetRecordSize()));
  int index = 0;
  for (const Posting& posting : kPostings) {
    table.InitRecord(record.data());
    const int32_t number = 1001 + index;
    platform::TDateTime date = 0;
    platform::TryEncodeDate(2024, 1 + index / 10, 2 + (index * 3) % 26, date);
    const int32_t day = dbf::DateTimeToDayNumber(date);
    const std::string text = platform::FromUtf8(kCodePage, posting.text);
    const int32_t debit = posting.debit, credit = posting.credit;
    const int16_t paid = index % 5 != 4;
    table.SetFieldData(0, dbf::ftInteger, &number, record.data());
    table.SetFieldData(1, dbf::ftDate, &day, record.data());
    table.SetFieldData(2, dbf::ftString, text.c_str(), record.data());
    table.SetFieldData(3, dbf::ftInteger, &debit, record.data());
    table.SetFieldData(4, dbf::ftInteger, &credit, record.data());
    table.SetFieldData(5, dbf::ftFloat, &posting.amount, record.data());
    table.SetFieldData(6, dbf::ftFloat, &posting.tax, record.data());
    table.SetFieldData(7, dbf::ftBoolean, &paid, record.data());
    int32_t block = 0;
    table.MemoFile()->StoreMemo(block, 0, platform::FromUtf8(kCodePage, NoteFor(index)));
    if (block != 0) table.SetFieldData(8, dbf::ftInteger, &block, record.data());
    // Two cancelled postings stay in the journal, marked as deleted.
    if (index == 17 || index == 36) record[0] = dbf::kRecordDeleted;
    table.Insert(record.data());
    ++index;
  }
  table.WriteHeader();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Make(argc > 1 ? argv[1] : ".");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_samples: %s\n", error.what());
    return 1;
  }
  return 0;
}

// Every language code, and texts that only look like one, through a whole run: start, Next,
// decline, the button, Cancel, and the button again, which ends the program.
#include <gtest/gtest.h>

#include <algorithm>

#include "terms_window.h"
#include "welcome_window.h"
#include "wizard_run.h"

namespace termgate::testing {
namespace {

const char kEnglish[] =
    R"_(You have chosen to decline the Terms of Use for the Quillon Toolbar.  The toolbar will be uninstalled.\r\n\r\n\r\nYou may uninstall the remaining Quillon products from the Add/Remove Programs menu.\r\n\r\n\r\nClick cancel to return to the Terms of Use page.)_";
const char kFrench[] =
    R"_(Vous avez choisi de décliner les termes d'utilisation de la barre d'outils Quillon. La désinstallation de la barre d'outils va commencer.\r\n\r\n\r\nVous pouvez désinstaller les produits Quillon restants à partir du menu Ajout/Suppression de programmes.\r\n\r\nCliquez sur Annuler pour retourner à la page des termes d'utilisation.)_";
const char kSpanish[] =
    R"_(Ha elegido rechazar las Condiciones de uso de la barra de herramientas de Quillon. La barra de herramientas se desinstalará.\r\n\r\n\r\nPuede desinstalar el resto de los productos Quillon por medio del menú Agregar/Quitar programas.\r\n\r\nHaga clic en cancelar para regresar a la página Condiciones de uso.)_";
const char kGerman[] =
    R"_(Sie haben die Nutzungsbedingungen für die Symbolleiste von Quillon abgelehnt. Die Symbolleiste wird jetzt deinstalliert. \r\n\r\n\r\nSie können die verbleibenden Quillon-Produkte im Menü \"Software\"deinstallieren. \r\n\r\nKlicken Sie auf\"Abbrechen\", um auf die Seite, die die Nutzungsbedingungen enthält, zurückzukehren.)_";
const char kItalian[] =
    R"_(L'utente ha scelto di rifiutare i Termini di utilizzo della Barra degli strumenti di Quillon. La barra degli strumenti verrà disinstallata.\r\n\r\n\r\nÈ possibile disinstallare i restanti prodotti Quillon dal menu Installazione applicazioni.\r\n\r\nFare clic su Annulla per tornare alla pagina dei Termini di utilizzo.)_";
const char kSwedish[] =
    R"_(Du har valt att inte godkänna villkoren för användning av Quillons verktygsfält. Verktygsfältet kommer att avinstalleras.\r\n\r\n\r\nDu kan avinstallera återstående Quillon-produkter via menyn Lägg till/ta bort program.\r\n\r\nKlicka på Avbryt om du vill återgå till sidan med villkor för användning.)_";
const char kNorwegian[] =
    R"_(Du har valgt å avslå Bruksvilkår for Quillon-verktøylinjen. Verktøylinjen vil bli avinstallert.\r\n\r\n\r\nResten av Quillon-produktene kan avinstalleres via menyen Legg til/fjern programmer.\r\n\r\nKlikk Avbryt for å gå tilbake til siden Bruksvilkår.)_";
const char kDutch[] =
    R"_(U heeft ervoor gekozen om niet akkoord te gaan met de Gebruiksvoorwaarden van de Quillon Toolbar. De toolbar zal worden gedeïnstalleerd.\r\n\r\n\r\nDe overige Quillon-producten kunt u deïnstalleren via het menu Software.\r\n\r\nKlik op Annuleren om naar de pagina met Gebruiksvoorwaarden terug te keren.)_";

using Labels = std::pair<std::string, std::string>;

struct LanguageCase {
  const char* name;
  scripted::Setup setup;
  std::optional<Sequence> fileLines;  // what the file calls read; nullopt: no file
  std::optional<std::string> next;
  std::optional<Labels> labels;
  std::optional<std::string> uninstall;  // set after "Uninstall"
  std::optional<std::string> finish;     // set after "Finish"
  const char* message;
};
TERMGATE_PRINTS_AS_NAME(LanguageCase)

Sequence OneLine(const std::string& quoted) {
  return {"  ReadLine -> " + quoted};
}

std::vector<LanguageCase> Cases() {
  const auto none = std::nullopt;
  return {
      {"missing file", NoLanguageFile(), none, "Continue", Labels{"I accept", "I decline"}, none,
       "Finish", kEnglish},
      {"EN", LanguageFileOf("EN\r\n"), OneLine(R"("EN")"), "Continue",
       Labels{"I accept", "I decline"}, none, "Finish", kEnglish},
      {"FR", LanguageFileOf("FR\r\n"), OneLine(R"("FR")"), "Continuer",
       Labels{"J'accepte", "Je refuse"}, none, "Finition", kFrench},
      {"BR", LanguageFileOf("BR\r\n"), OneLine(R"("BR")"), "Continuar",
       Labels{"Aceito", "Não aceito"}, none, none, kEnglish},
      {"DA", LanguageFileOf("DA\r\n"), OneLine(R"("DA")"), "Fortsæt",
       Labels{"Jeg accepterer", "Jeg accepterer ikke"}, none, none, kEnglish},
      {"ES", LanguageFileOf("ES\r\n"), OneLine(R"("ES")"), "Continuar",
       Labels{"Acepto", "No acepto"}, none, "Final", kSpanish},
      {"DE", LanguageFileOf("DE\r\n"), OneLine(R"("DE")"), "Weiter",
       Labels{"Ich stimme zu", "Ich lehne ab"}, none, "Ende", kGerman},
      {"IT", LanguageFileOf("IT\r\n"), OneLine(R"("IT")"), "Continua", Labels{"Accetto", "Rifiuto"},
       none, "Revestimento", kItalian},
      {"SV", LanguageFileOf("SV\r\n"), OneLine(R"("SV")"), "Fortsätt",
       Labels{"Jag accepterar", "Jag accepterar inte"}, none, "Avslutning", kSwedish},
      {"NL", LanguageFileOf("NL\r\n"), OneLine(R"("NL")"), "Doorgaan",
       Labels{"Ik ga akkoord", "Ik ga niet akkoord"}, "Desinstallatie", "Eindig", kDutch},
      {"NO", LanguageFileOf("NO\r\n"), OneLine(R"("NO")"), "Fortsett",
       Labels{"Jeg godtar dette", "Jeg godtar ikke dette"}, none, "Avslutning", kNorwegian},
      {"JP with CP932 captions",
       LanguageFileOf("JP\r\n\x93\xaf\x88\xd3\x82\xb7\x82\xe9\r\n\x93\xaf\x88\xd3\x82\xb5\x82"
                      "\xc8\x82\xa2\r\n",
                      932),
       Sequence{R"(  ReadLine -> "JP")", "  AtEndOfStream -> False", R"(  ReadLine -> "同意する")",
                "  AtEndOfStream -> False", R"(  ReadLine -> "同意しない")"},
       none, Labels{"同意する", "同意しない"}, none, none, kEnglish},
      {"fr in lower case", LanguageFileOf("fr\r\n"), OneLine(R"("fr")"), none, none, none, none,
       kEnglish},
      {"EN with a trailing blank", LanguageFileOf("EN \r\n"), OneLine(R"("EN ")"), none, none, none,
       none, kEnglish},
      {"PT, no code", LanguageFileOf("PT\r\n"), OneLine(R"("PT")"), none, none, none, none,
       kEnglish},
      {"empty first line", LanguageFileOf("\r\nDE\r\n"), OneLine(R"("")"), none, none, none, none,
       kEnglish},
  };
}

class Localization : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(Localization, WholeRunShowsTheTextsOfItsCode) {
  const LanguageCase& c = GetParam();
  WizardRun run(c.setup);
  run.host.QueueAnswer(kVbCancel);
  run.host.Start(run.wizard);
  run.host.ClickButton(Form::Form2);
  run.host.SelectOption(ControlName::Option2);
  run.host.ClickButton(Form::Form3);
  run.host.ClickButton(Form::Form3);

  Sequence expected = StartCalls(FileCalls(c.fileLines), c.next);
  Append(expected, NextCalls(c.labels));
  expected.push_back("user: selects Form3.Option2");
  Append(expected, OptionClickCalls(2, c.uninstall, 0));
  Append(expected, {
                       "user: clicks Form3.Command1",
                       "> Form3.Command1_Click",
                       "  Form3.Option1.Value -> False",
                       "  Form3.Option2.Value -> True",
                       "  Form3.Hide",
                       std::string("  MsgBox \"") + c.message +
                           R"(", 1, "Uninstall Quillon Toolbar" -> 2 (Cancel))",
                       "  Form3.Show",
                       "  Form3.Option1.Value = True",
                   });
  Append(expected, OptionClickCalls(1, c.finish, 1));
  Append(expected, {
                       "< Form3.Command1_Click",
                       "user: clicks Form3.Command1",
                       "> Form3.Command1_Click",
                       "  Form3.Option1.Value -> True",
                       "  End",
                       "host: the program has ended",
                   });
  EXPECT_SEQUENCE(run.host.trace(), expected);
  EXPECT_EQ(run.host.state(), scripted::RunState::Ended);
}

INSTANTIATE_TEST_SUITE_P(Codes, Localization, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return CaseName(param.param.name); });

// The list of known codes, which tools and the documentation take from termgate-trace
// --describe, holds every code a localizing table tests.
TEST(KnownCodes, HoldEveryCodeTheTablesTest) {
  std::vector<TextView> tested;
  for (const LocalizedText& row : NextCaptionTable()) {
    tested.push_back(row.code);
  }
  const TermsWindowTables terms = TermsWindowTextTables();
  for (const OptionCaptions& row : terms.options) {
    tested.push_back(row.code);
  }
  for (const auto table : {terms.finish, terms.uninstall, terms.declineMessages}) {
    for (const LocalizedText& row : table) {
      tested.push_back(row.code);
    }
  }
  tested.push_back(kCaptionsFromFileCode);
  for (const TextView code : tested) {
    EXPECT_TRUE(std::any_of(kKnownCodes.begin(), kKnownCodes.end(), [code](const KnownCode& known) {
      return known.code == code;
    })) << std::string(code.begin(), code.end());
  }
}

}  // namespace
}  // namespace termgate::testing

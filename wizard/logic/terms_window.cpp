#include "terms_window.h"

#include <array>
#include <span>

#include "localized_text.h"
#include "module1.h"

namespace termgate {

namespace {

constexpr Control kCommand1{Form::Form3, ControlName::Command1};
constexpr Control kOption1{Form::Form3, ControlName::Option1};
constexpr Control kOption2{Form::Form3, ControlName::Option2};
constexpr Control kLabel2{Form::Form3, ControlName::Label2};
constexpr Control kLabel3{Form::Form3, ControlName::Label3};
constexpr Control kWebBrowser2{Form::Form3, ControlName::WebBrowser2};

// "JP" takes its two captions from the language file instead; see Form_Load.
constexpr auto kOptionCaptions = std::to_array<OptionCaptions>({
    {u"FR", u"J'accepte", u"Je refuse"},
    {u"BR", u"Aceito", u"Não aceito"},
    {u"DA", u"Jeg accepterer", u"Jeg accepterer ikke"},
    {u"ES", u"Acepto", u"No acepto"},
    {u"DE", u"Ich stimme zu", u"Ich lehne ab"},
    {u"IT", u"Accetto", u"Rifiuto"},
    {u"SV", u"Jag accepterar", u"Jag accepterar inte"},
    {u"NL", u"Ik ga akkoord", u"Ik ga niet akkoord"},
    {u"NO", u"Jeg godtar dette", u"Jeg godtar ikke dette"},
    {u"EN", u"I accept", u"I decline"},
});

constexpr TextView kFinishCaption = u"Finish";
constexpr auto kFinishCaptions = std::to_array<LocalizedText>({
    {u"FR", u"Finition"},
    {u"ES", u"Final"},
    {u"DE", u"Ende"},
    {u"IT", u"Revestimento"},
    {u"SV", u"Avslutning"},
    {u"NO", u"Avslutning"},
    {u"NL", u"Eindig"},
    {u"EN", u"Finish"},
});

constexpr TextView kUninstallCaption = u"Uninstall";
constexpr auto kUninstallCaptions = std::to_array<LocalizedText>({
    {u"NL", u"Desinstallatie"},
});

// Each message: what happens, where to remove the rest, how to go back. English has three
// line breaks (CR LF) before its last paragraph, the others two; none ends with a line break.
// One literal piece per line of source, broken only between words, so that every word of a
// message can be found with grep.
constexpr TextView kEnglishDeclineMessage =
    u"You have chosen to decline the Terms of Use for the Quillon Toolbar.  The toolbar will be "
    u"uninstalled.\r\n\r\n\r\n"
    u"You may uninstall the remaining Quillon products from the Add/Remove Programs menu."
    u"\r\n\r\n\r\n"
    u"Click cancel to return to the Terms of Use page.";

constexpr auto kDeclineMessages = std::to_array<LocalizedText>({
    {u"FR",
     u"Vous avez choisi de décliner les termes d'utilisation de la barre d'outils Quillon. La "
     u"désinstallation de la barre d'outils va commencer.\r\n\r\n\r\n"
     u"Vous pouvez désinstaller les produits Quillon restants à partir du menu "
     u"Ajout/Suppression de programmes.\r\n\r\n"
     u"Cliquez sur Annuler pour retourner à la page des termes d'utilisation."},
    {u"ES",
     u"Ha elegido rechazar las Condiciones de uso de la barra de herramientas de Quillon. La "
     u"barra de herramientas se desinstalará.\r\n\r\n\r\n"
     u"Puede desinstalar el resto de los productos Quillon por medio del menú Agregar/Quitar "
     u"programas.\r\n\r\n"
     u"Haga clic en cancelar para regresar a la página Condiciones de uso."},
    // No blank between the closing quotation mark and "deinstallieren", nor between "auf" and
    // the opening one; the first two paragraphs end with a blank before their line breaks.
    {u"DE",
     u"Sie haben die Nutzungsbedingungen für die Symbolleiste von Quillon abgelehnt. Die "
     u"Symbolleiste wird jetzt deinstalliert. \r\n\r\n\r\n"
     u"Sie können die verbleibenden Quillon-Produkte im Menü \"Software\"deinstallieren. "
     u"\r\n\r\n"
     u"Klicken Sie auf\"Abbrechen\", um auf die Seite, die die Nutzungsbedingungen enthält, "
     u"zurückzukehren."},
    {u"IT",
     u"L'utente ha scelto di rifiutare i Termini di utilizzo della Barra degli strumenti di "
     u"Quillon. La barra degli strumenti verrà disinstallata.\r\n\r\n\r\n"
     u"È possibile disinstallare i restanti prodotti Quillon dal menu Installazione "
     u"applicazioni.\r\n\r\n"
     u"Fare clic su Annulla per tornare alla pagina dei Termini di utilizzo."},
    {u"SV",
     u"Du har valt att inte godkänna villkoren för användning av Quillons verktygsfält. "
     u"Verktygsfältet kommer att avinstalleras.\r\n\r\n\r\n"
     u"Du kan avinstallera återstående Quillon-produkter via menyn Lägg till/ta bort "
     u"program.\r\n\r\n"
     u"Klicka på Avbryt om du vill återgå till sidan med villkor för användning."},
    {u"NO",
     u"Du har valgt å avslå Bruksvilkår for Quillon-verktøylinjen. Verktøylinjen vil bli "
     u"avinstallert.\r\n\r\n\r\n"
     u"Resten av Quillon-produktene kan avinstalleres via menyen Legg til/fjern "
     u"programmer.\r\n\r\n"
     u"Klikk Avbryt for å gå tilbake til siden Bruksvilkår."},
    {u"NL",
     u"U heeft ervoor gekozen om niet akkoord te gaan met de Gebruiksvoorwaarden van de Quillon "
     u"Toolbar. De toolbar zal worden gedeïnstalleerd.\r\n\r\n\r\n"
     u"De overige Quillon-producten kunt u deïnstalleren via het menu Software.\r\n\r\n"
     u"Klik op Annuleren om naar de pagina met Gebruiksvoorwaarden terug te keren."},
    {u"EN", kEnglishDeclineMessage},
});

constexpr std::int16_t kMinimizedFocus = 2;

constexpr TextView kDeclineTitle = u"Uninstall Quillon Toolbar";
constexpr TextView kNotice = u"Uninstalled Quillon Toolbar";

// Left unexpanded: the command interpreter expands it, to the folder that holds the toolbar.
constexpr auto kToolbarLibraries = std::to_array<TextView>({
    u"%programfiles%\\quillon\\quillontoolbar1.dll",
    u"%programfiles%\\quillon\\quillontoolbar2.dll",
});

}  // namespace

TermsWindowTables TermsWindowTextTables() {
  return {kOptionCaptions, kFinishCaptions, kUninstallCaptions, kDeclineMessages};
}

Text UninstallCommand(TextView libraryPath) {
  Text command = u"cmd.exe /c regsvr32 /u /s ";
  command += u'"';
  command += libraryPath;
  command += u'"';
  return command;
}

void TermsWindow::Raise(Handler handler) {
  switch (handler) {
    case Handler::Form_Load:
      Form_Load();
      break;
    case Handler::Command1_Click:
      Command1_Click();
      break;
    case Handler::Option1_Click:
      Option1_Click();
      break;
    case Handler::Option2_Click:
      Option2_Click();
      break;
    case Handler::Form_QueryUnload:
      Form_QueryUnload();
      break;
  }
}

void TermsWindow::Form_Load() {
  for (const OptionCaptions& row : kOptionCaptions) {
    if (language_.LangCode == row.code) {
      host_.Caption(kLabel2, row.accept);
      host_.Caption(kLabel3, row.decline);
    }
  }
  if (language_.LangCode == kCaptionsFromFileCode) {
    host_.Caption(kLabel2, language_.JpAcceptCaption);
    host_.Caption(kLabel3, language_.JpDeclineCaption);
  }

  SetTopmost(host_, host_.hWnd(Form::Form3), kTrue);

  host_.Navigate2(kWebBrowser2, host_.AppPath() + u"\\toolbar.html");

  const std::int32_t systemMenu = host_.GetSystemMenu(host_.hWnd(Form::Form3), kFalse);
  host_.RemoveMenu(systemMenu, kScClose, kMfByCommand);
}

void TermsWindow::Option1_Click() {
  host_.Caption(kCommand1, kFinishCaption);
  SetLocalized(host_, kCommand1, language_, kFinishCaptions);
  host_.Visible(kCommand1, kTrue);
  host_.Enabled(kCommand1, kTrue);
}

void TermsWindow::Option2_Click() {
  host_.Caption(kCommand1, kUninstallCaption);
  SetLocalized(host_, kCommand1, language_, kUninstallCaptions);
  host_.Visible(kCommand1, kTrue);
  host_.Enabled(kCommand1, kTrue);
}

void TermsWindow::Command1_Click() {
  DeclineMessage = kEnglishDeclineMessage;
  for (const LocalizedText& row : kDeclineMessages) {
    if (language_.LangCode == row.code) {
      DeclineMessage = row.text;
    }
  }

  if (host_.Value(kOption1) == kTrue) {
    host_.End();
  }

  if (host_.Value(kOption2) == kTrue) {
    host_.Hide(Form::Form3);
    DeclineAnswer = host_.MsgBox(DeclineMessage, kVbOkCancel, kDeclineTitle);
  }

  // Both answers are tested on every click that gets here, whether or not a box just asked.
  if (DeclineAnswer == kVbCancel) {
    host_.Show(Form::Form3);
    host_.Value(kOption1, kTrue);
  }

  if (DeclineAnswer == kVbOk) {
    // The decision is the OK in the confirmation: the commands start now, before the notice, so
    // that nothing that ends the program while the notice is open (the session, the display,
    // Task Manager, a crash) can lose it. The notice then tells what has already begun.
    StartUninstallCommands();
    host_.MsgBox(kNotice, kVbOkOnly, u"");
    host_.End();
  }
}

void TermsWindow::Form_QueryUnload() {
  // Told to end once the decline is confirmed: whatever has not started yet starts now, and
  // nothing starts twice.
  if (DeclineAnswer == kVbOk) {
    StartUninstallCommands();
  }
}

void TermsWindow::StartUninstallCommands() {
  // Each command starts once, whichever way to the end starts them.
  while (uninstallCommandsStarted_ < kToolbarLibraries.size()) {
    const TextView library = kToolbarLibraries[uninstallCommandsStarted_++];
    host_.Shell(UninstallCommand(library), kMinimizedFocus);
  }
}

}  // namespace termgate

"""What Termgate shows, written out by hand as independent checks: the tests and run-wizard
compare the program's windows and boxes with these, never with texts taken from the program."""

ENGLISH_MESSAGE = (
    "You have chosen to decline the Terms of Use for the Quillon Toolbar.  The toolbar will be "
    "uninstalled.\r\n\r\n\r\nYou may uninstall the remaining Quillon products from the "
    "Add/Remove Programs menu.\r\n\r\n\r\nClick cancel to return to the Terms of Use page.")
GERMAN_MESSAGE = (
    "Sie haben die Nutzungsbedingungen für die Symbolleiste von Quillon abgelehnt. Die "
    "Symbolleiste wird jetzt deinstalliert. \r\n\r\n\r\nSie können die verbleibenden "
    "Quillon-Produkte im Menü \"Software\"deinstallieren. \r\n\r\nKlicken Sie "
    "auf\"Abbrechen\", um auf die Seite, die die Nutzungsbedingungen enthält, zurückzukehren.")
DUTCH_MESSAGE = (
    "U heeft ervoor gekozen om niet akkoord te gaan met de Gebruiksvoorwaarden van de Quillon "
    "Toolbar. De toolbar zal worden gedeïnstalleerd.\r\n\r\n\r\nDe overige Quillon-producten "
    "kunt u deïnstalleren via het menu Software.\r\n\r\nKlik op Annuleren om naar de pagina "
    "met Gebruiksvoorwaarden terug te keren.")
DECLINE_TITLE = "Uninstall Quillon Toolbar"
NOTICE = "Uninstalled Quillon Toolbar"
ERROR_TITLE = "Termgate"

JAPANESE_ACCEPT, JAPANESE_DECLINE = "同意する", "同意しない"
JAPANESE_FILE = "\r\n".join(["JP", JAPANESE_ACCEPT, JAPANESE_DECLINE, ""]).encode("cp932")

ROLE_RADIO_BUTTON = 45
EXIT_ENDED_FROM_OUTSIDE = 1  # a quit message or the end of the session
EXIT_ALREADY_RUNNING = 183  # another Termgate runs in the session (ERROR_ALREADY_EXISTS)

# Windows messages the tests post, as another program could.
WM_CLOSE = 0x0010
WM_KEYDOWN = 0x0100
WM_KEYUP = 0x0101
WM_COMMAND = 0x0111
BM_SETCHECK = 0x00F1
BM_CLICK = 0x00F5
BST_UNCHECKED, BST_CHECKED = 0, 1
VK_RETURN = 0x0D
WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
WM_DPICHANGED = 0x02E0
WM_GETDPISCALEDSIZE = 0x02E4
IDOK, IDCANCEL, IDABORT, IDYES, IDNO = 1, 2, 3, 6, 7
STN_CLICKED = 0

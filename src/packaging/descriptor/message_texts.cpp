// Built-in message texts. Every text keeps its "{0}" where the launcher puts its argument.
#include "packaging/descriptor/message_texts.h"

#include "format/record_ids.h"
#include "packaging/descriptor/keys.h"

namespace packager {

namespace {

const char* const kEnglish[] = {
    "Error",
    "No JVM could be found on your system.\nPlease define QUILL_JAVA_HOME to point to an installed JDK or JRE.",
    "The JVM found at {0} is damaged.\nPlease reinstall or define QUILL_JAVA_HOME to point to an installed JDK or JRE.",
    "The {0} environment variable does not\npoint to a working JDK or JRE.",
    "The application could not be started.",
    "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an antivirus or firewall "
    "tool could block the execution.",
    "File or directory {0} not found or empty\n",
    "The application is already running.",
    "The environment variable {0} has to be defined",
    "An internal error occurred (error code: {0})",
    "Couldn't load main class.",
    "Main method not found.",
    "No 32-bit JVM could be found on your system.",
    "The JVM found at {0} is not a 32-bit JVM.",
    "The application needs a graphical environment.",
    "You must be at least Poweruser to run this program.",
    "No JVM could be found on your system.\nPlease define the environment variable QUILL_JAVA_HOME to point to an "
    "installed {0}-bit JDK or JRE, or download a JRE from a Java download site and install it.",
    "No 32-bit JVM could be found on your system.\nPlease define QUILL_JAVA_HOME to point to an installed 32-bit "
    "JDK or JRE.",
    "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE.",
    "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE.",
    "The JVM found at {0} is damaged.\nPlease reinstall or define QUILL_JAVA_HOME\nto point to an installed 64-bit "
    "JDK or JRE.",
};

const char* const kGerman[] = {
    "Fehler",
    "Auf diesem System wurde keine JVM gefunden.\nBitte setzen Sie QUILL_JAVA_HOME auf ein installiertes JDK oder JRE.",
    "Die JVM in {0} ist besch\xC3\xA4" "digt.\nBitte installieren Sie sie neu oder setzen Sie QUILL_JAVA_HOME auf ein "
    "installiertes JDK oder JRE.",
    "Die Umgebungsvariable {0} verweist nicht\nauf ein funktionierendes JDK oder JRE.",
    "Die Anwendung konnte nicht gestartet werden.",
    "Die JVM konnte nicht gestartet werden. M\xC3\xB6glicherweise ist die maximale Heap-Gr\xC3\xB6\xC3\x9F" "e (-Xmx) zu "
    "gro\xC3\x9F oder ein Antiviren- oder Firewall-Programm verhindert die Ausf\xC3\xBChrung.",
    "Datei oder Verzeichnis {0} nicht gefunden oder leer\n",
    "Die Anwendung l\xC3\xA4uft bereits.",
    "Die Umgebungsvariable {0} muss gesetzt sein",
    "Ein interner Fehler ist aufgetreten (Fehlercode: {0})",
    "Die Hauptklasse konnte nicht geladen werden.",
    "Die main-Methode wurde nicht gefunden.",
    "Auf diesem System wurde keine 32-Bit-JVM gefunden.",
    "Die JVM in {0} ist keine 32-Bit-JVM.",
    "Die Anwendung ben\xC3\xB6tigt eine grafische Umgebung.",
    "Sie ben\xC3\xB6tigen mindestens Hauptbenutzerrechte, um dieses Programm auszuf\xC3\xBChren.",
    "Auf diesem System wurde keine JVM gefunden.\nBitte setzen Sie die Umgebungsvariable QUILL_JAVA_HOME auf ein "
    "installiertes {0}-Bit-JDK oder -JRE, oder laden Sie ein JRE von einer Java-Downloadseite herunter und "
    "installieren Sie es.",
    "Auf diesem System wurde keine 32-Bit-JVM gefunden.\nBitte setzen Sie QUILL_JAVA_HOME auf ein installiertes "
    "32-Bit-JDK oder -JRE.",
    "Die Umgebungsvariable {0} verweist nicht\nauf ein funktionierendes 64-Bit-JDK oder -JRE.",
    "Die Umgebungsvariable {0} verweist nicht\nauf ein funktionierendes 32-Bit-JDK oder -JRE.",
    "Die JVM in {0} ist besch\xC3\xA4" "digt.\nBitte installieren Sie sie neu oder setzen Sie QUILL_JAVA_HOME\nauf ein "
    "installiertes 64-Bit-JDK oder -JRE.",
};

const char* const kFrench[] = {
    "Erreur",
    "Aucune JVM n'a \xC3\xA9t\xC3\xA9 trouv\xC3\xA9" "e sur ce syst\xC3\xA8me.\nVeuillez d\xC3\xA9" "finir QUILL_JAVA_HOME "
    "sur un JDK ou JRE install\xC3\xA9.",
    "La JVM trouv\xC3\xA9" "e dans {0} est endommag\xC3\xA9" "e.\nVeuillez la r\xC3\xA9installer ou d\xC3\xA9" "finir "
    "QUILL_JAVA_HOME sur un JDK ou JRE install\xC3\xA9.",
    "La variable d'environnement {0} ne d\xC3\xA9signe pas\nun JDK ou JRE en \xC3\xA9tat de marche.",
    "L'application n'a pas pu \xC3\xAAtre d\xC3\xA9marr\xC3\xA9" "e.",
    "La JVM n'a pas pu \xC3\xAAtre d\xC3\xA9marr\xC3\xA9" "e. La taille maximale du tas (-Xmx) est peut-\xC3\xAAtre trop "
    "grande, ou un antivirus ou un pare-feu bloque l'ex\xC3\xA9" "cution.",
    "Fichier ou r\xC3\xA9pertoire {0} introuvable ou vide\n",
    "L'application est d\xC3\xA9j\xC3\xA0 en cours d'ex\xC3\xA9" "cution.",
    "La variable d'environnement {0} doit \xC3\xAAtre d\xC3\xA9" "finie",
    "Une erreur interne s'est produite (code d'erreur : {0})",
    "Impossible de charger la classe principale.",
    "M\xC3\xA9thode main introuvable.",
    "Aucune JVM 32 bits n'a \xC3\xA9t\xC3\xA9 trouv\xC3\xA9" "e sur ce syst\xC3\xA8me.",
    "La JVM trouv\xC3\xA9" "e dans {0} n'est pas une JVM 32 bits.",
    "L'application n\xC3\xA9" "cessite un environnement graphique.",
    "Vous devez \xC3\xAAtre au moins utilisateur avec pouvoir pour ex\xC3\xA9" "cuter ce programme.",
    "Aucune JVM n'a \xC3\xA9t\xC3\xA9 trouv\xC3\xA9" "e sur ce syst\xC3\xA8me.\nVeuillez d\xC3\xA9" "finir la variable "
    "d'environnement QUILL_JAVA_HOME sur un JDK ou JRE {0} bits install\xC3\xA9, ou t\xC3\xA9l\xC3\xA9" "charger un JRE "
    "depuis un site de t\xC3\xA9l\xC3\xA9" "chargement Java et l'installer.",
    "Aucune JVM 32 bits n'a \xC3\xA9t\xC3\xA9 trouv\xC3\xA9" "e sur ce syst\xC3\xA8me.\nVeuillez d\xC3\xA9" "finir "
    "QUILL_JAVA_HOME sur un JDK ou JRE 32 bits install\xC3\xA9.",
    "La variable d'environnement {0} ne d\xC3\xA9signe pas\nun JDK ou JRE 64 bits en \xC3\xA9tat de marche.",
    "La variable d'environnement {0} ne d\xC3\xA9signe pas\nun JDK ou JRE 32 bits en \xC3\xA9tat de marche.",
    "La JVM trouv\xC3\xA9" "e dans {0} est endommag\xC3\xA9" "e.\nVeuillez la r\xC3\xA9installer ou d\xC3\xA9" "finir "
    "QUILL_JAVA_HOME\nsur un JDK ou JRE 64 bits install\xC3\xA9.",
};

constexpr int kCount = cfg::kLastMessageId - cfg::kFirstMessageId + 1;
static_assert(sizeof(kEnglish) / sizeof(kEnglish[0]) == kCount, "every English text");
static_assert(sizeof(kGerman) / sizeof(kGerman[0]) == kCount, "every German text");
static_assert(sizeof(kFrench) / sizeof(kFrench[0]) == kCount, "every French text");

} // namespace

const std::vector<std::string>& messageLanguages()
{
    static const std::vector<std::string> languages = {"en", "de", "fr"};
    return languages;
}

std::vector<MessageText> builtInMessages(const std::string& language)
{
    const char* const* texts = nullptr;
    if (language == "en") {
        texts = kEnglish;
    } else if (language == "de") {
        texts = kGerman;
    } else if (language == "fr") {
        texts = kFrench;
    } else {
        return {};
    }
    std::vector<MessageText> messages;
    for (int i = 0; i < kCount; ++i) {
        messages.push_back({cfg::kFirstMessageId + i, texts[i]});
    }
    return messages;
}

bool namesVersionRange(int32_t id)
{
    return id == cfg::msgNoJvm || id == cfg::msgNoJvmFound;
}

std::string versionRangeSentence(const std::string& language, const std::string& minimum, const std::string& maximum)
{
    const char* defaultMinimum = recordDefault(cfg::minJavaVersion);
    const char* defaultMaximum = recordDefault(cfg::maxJavaVersion);
    bool defaultRange = minimum == (defaultMinimum != nullptr ? defaultMinimum : "") &&
                        maximum == (defaultMaximum != nullptr ? defaultMaximum : "");
    if (defaultRange || (minimum.empty() && maximum.empty())) {
        return std::string();
    }
    struct Words {
        const char* needs;
        const char* both;   // between the bounds
        const char* above;  // after a minimum alone
        const char* below;  // after a maximum alone
    };
    static const Words kEnglishWords = {"The application needs Java ", " to ", " or later", " or earlier"};
    static const Words kGermanWords = {"Die Anwendung ben\xC3\xB6tigt Java ", " bis ", " oder neuer",
                                       " oder \xC3\xA4lter"};
    static const Words kFrenchWords = {"L'application n\xC3\xA9" "cessite Java ", " \xC3\xA0 ",
                                       " ou plus r\xC3\xA9" "cent", " ou plus ancien"};
    const Words& w = language == "de" ? kGermanWords : language == "fr" ? kFrenchWords : kEnglishWords;
    std::string range = !minimum.empty() && !maximum.empty() ? minimum + w.both + maximum
                        : !minimum.empty()                    ? minimum + w.above
                                                              : maximum + w.below;
    return std::string(w.needs) + range + ".";
}

} // namespace packager

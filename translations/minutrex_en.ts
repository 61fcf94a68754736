<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fr">
<context>
    <name>AboutBox</name>
    <message>
        <source>Décembre 2006</source>
        <translation>December 2006</translation>
    </message>
    <message>
        <source>Auteur : l&apos;équipe Minutrex</source>
        <translation>Author: the Minutrex team</translation>
    </message>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Usage : minutrex [--config FICHIER] [--help] [--version]</source>
        <translation>Usage: minutrex [--config FILE] [--help] [--version]</translation>
    </message>
    <message>
        <source>Usage : minutrex [OPTION]
Décompte un délai et exécute une action à son terme : ouvre un document ou
un dossier, ou lance un programme avec ses paramètres.

Options :
  -c, --config FICHIER  utilise ce fichier de paramètres au lieu de Minutrex.ini ;
                        il est créé avec les valeurs de départ s&apos;il n&apos;existe pas.
                        Un fichier par minuteur permet d&apos;en lancer plusieurs.
  -h, --help            affiche cette aide et se termine
  -v, --version         affiche la version et se termine

Sans --config, les paramètres sont dans Minutrex.ini : à côté du programme
pour une copie lancée depuis son propre dossier, dans
$XDG_CONFIG_HOME/Minutrex/ (~/.config/Minutrex/) pour une copie installée.
</source>
        <translation>Usage: minutrex [OPTION]
Counts a delay down and runs an action at zero: opens a document or a
folder, or starts a program with its parameters.

Options:
  -c, --config FILE  use this settings file instead of Minutrex.ini;
                     it is created with the first-run settings if missing.
                     One file per timer lets several of them count at once.
  -h, --help         print this help and exit
  -v, --version      print the version and exit

Without --config, the settings are in Minutrex.ini: beside the program for
a copy run from its own folder, in $XDG_CONFIG_HOME/Minutrex/
(~/.config/Minutrex/) for an installed copy.
</translation>
    </message>
    <message>
        <source>option inconnue %1</source>
        <translation>unknown option %1</translation>
    </message>
    <message>
        <source>l&apos;option %1 attend un nom de fichier</source>
        <translation>option %1 needs a file name</translation>
    </message>
    <message>
        <source>l&apos;option %1 n&apos;accepte pas de valeur</source>
        <translation>option %1 takes no value</translation>
    </message>
    <message>
        <source>argument inattendu %1</source>
        <translation>unexpected argument %1</translation>
    </message>
    <message>
        <source>l&apos;option --config attend un nom de fichier</source>
        <translation>option --config needs a file name</translation>
    </message>
    <message>
        <source>minutrex : aucun écran où afficher la fenêtre (DISPLAY et WAYLAND_DISPLAY ne mènent à aucun affichage).
</source>
        <translation>minutrex: no screen to show the window on (neither DISPLAY nor WAYLAND_DISPLAY leads to a display).
</translation>
    </message>
</context>
<context>
    <name>CountTexts</name>
    <message>
        <source>Fin du décompte : action « %1 » non lancée, exécution désactivée.</source>
        <translation>Count over: action “%1” not run, the action is turned off.</translation>
    </message>
    <message>
        <source>Fin du décompte : échec de l&apos;action « %1 ».</source>
        <translation>Count over: action “%1” failed.</translation>
    </message>
    <message>
        <source>Fin du décompte : action « %1 » lancée.</source>
        <translation>Count over: action “%1” started.</translation>
    </message>
    <message>
        <source>dd/MM/yyyy à HH:mm:ss</source>
        <extracomment>A date and time format: letters that are no field stand between quotes.</extracomment>
        <translation>yyyy-MM-dd &apos;at&apos; HH:mm:ss</translation>
    </message>
    <message>
        <source> prévue à %1</source>
        <translation> due at %1</translation>
    </message>
    <message>
        <source> prévue le %1</source>
        <translation> due on %1</translation>
    </message>
    <message>
        <source>Exécution de « %1 »%2</source>
        <translation>Running “%1”%2</translation>
    </message>
    <message>
        <source>Fin du décompte de « %1 » (exécution désactivée)%2</source>
        <translation>End of the count for “%1” (action turned off)%2</translation>
    </message>
</context>
<context>
    <name>Counter</name>
    <message>
        <source>A propos ...</source>
        <translation>About ...</translation>
    </message>
    <message>
        <source>Exécution de</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>dans</source>
        <translation>in</translation>
    </message>
    <message>
        <source>(nom de l&apos;action)</source>
        <translation>(action name)</translation>
    </message>
    <message>
        <source>CLic : Pause - DoubleClick : Réglages paramétres</source>
        <translation>Click: pause - Double-click: settings</translation>
    </message>
    <message>
        <source>CLIC sur l&apos;heure : Pause</source>
        <translation>CLICK on the time: Pause</translation>
    </message>
    <message>
        <source>DOUBLE-CLIC : Réglages Paramètres</source>
        <translation>DOUBLE-CLICK: Settings</translation>
    </message>
    <message>
        <source>ANNULATION</source>
        <translation>QUIT</translation>
    </message>
    <message>
        <source>Annule l&apos;éxécution de l&apos;action et quitte Minutrex</source>
        <translation>Quits Minutrex without running the action</translation>
    </message>
    <message>
        <source>EXECUTER</source>
        <translation>RUN NOW</translation>
    </message>
    <message>
        <source>Force l&apos;éxécution de l&apos;action avant le terme</source>
        <translation>Runs the action now, before the end of the count</translation>
    </message>
    <message>
        <source>Ne sert qu&apos;a éviter les pointillés sur les boutons Anulation et Execution</source>
        <translation>Only keeps the focus frame off the Quit and Run buttons</translation>
    </message>
    <message>
        <source>EN PAUSE</source>
        <translation>PAUSED</translation>
    </message>
    <message>
        <source>(aucune action)</source>
        <translation>(no action)</translation>
    </message>
    <message>
        <source>         CLIC sur l&apos;heure : Pause       DOUBLE-CLIC : Réglages Paramètres</source>
        <translation>         CLICK on the time: Pause       DOUBLE-CLICK: Settings</translation>
    </message>
    <message>
        <source>Le fichier de paramètres %1 ne peut pas être créé</source>
        <translation>The settings file %1 cannot be created</translation>
    </message>
    <message>
        <source>Le fichier de paramètres %1 ne peut pas être lu</source>
        <translation>The settings file %1 cannot be read</translation>
    </message>
    <message>
        <source>Le fichier de paramètres %1 ne peut pas être enregistré</source>
        <translation>The settings file %1 cannot be saved</translation>
    </message>
    <message>
        <source>Exécution désactivée</source>
        <translation>Action turned off</translation>
    </message>
</context>
<context>
    <name>DesktopSession</name>
    <message>
        <source>Afficher</source>
        <translation>Show</translation>
    </message>
</context>
<context>
    <name>Launcher</name>
    <message>
        <source>L&apos;éxécution de %1 a provoqué une erreur !

Reconsidérer votre action ...</source>
        <translation>Running %1 failed!

Please check your action ...</translation>
    </message>
    <message>
        <source>Minutrex - Action</source>
        <translation>Minutrex - Action</translation>
    </message>
    <message>
        <source>Aucun fichier cible !</source>
        <translation>No target file!</translation>
    </message>
    <message>
        <source>Minutrex - Simulation</source>
        <translation>Minutrex - Try out</translation>
    </message>
    <message>
        <source>Aucun fichier cible !

Cliquer sur &quot;Parcourir ...&quot; pour sélectionner un fichier</source>
        <translation>No target file!

Click &quot;Browse ...&quot; to choose a file</translation>
    </message>
    <message>
        <source>

Cliquer sur &quot;Parcourir ...&quot; pour sélectionner un fichier valide</source>
        <translation>

Click &quot;Browse ...&quot; to choose a file that exists</translation>
    </message>
    <message>
        <source>Le fichier %1 n&apos;existe pas dans le dossier %2</source>
        <translation>The file %1 does not exist in the folder %2</translation>
    </message>
</context>
<context>
    <name>Param</name>
    <message>
        <source>PARAMETRAGES</source>
        <translation>SETTINGS</translation>
    </message>
    <message>
        <source>  DECOMPTEUR </source>
        <translation>  COUNTDOWN </translation>
    </message>
    <message>
        <source>Heures:Minutes:Secondes</source>
        <translation>Hours:Minutes:Seconds</translation>
    </message>
    <message>
        <source>Choisisser le délai du décompteur</source>
        <translation>Choose the countdown&apos;s delay</translation>
    </message>
    <message>
        <source>A propos ...</source>
        <translation>About ...</translation>
    </message>
    <message>
        <source>  ACTION </source>
        <translation>  ACTION </translation>
    </message>
    <message>
        <source>Nom de l&apos;action</source>
        <translation>Action name</translation>
    </message>
    <message>
        <source>Entrer le nom de l&apos;action</source>
        <translation>Type the action&apos;s name</translation>
    </message>
    <message>
        <source>Sélection du fichier à éxécuter</source>
        <translation>Choose the file to run</translation>
    </message>
    <message>
        <source>Parcourir ...</source>
        <translation>Browse ...</translation>
    </message>
    <message>
        <source>Nom du fichier à éxécuter</source>
        <translation>Name of the file to run</translation>
    </message>
    <message>
        <source>Cliquer sur Parcourir pour sélectionner un fichier</source>
        <translation>Click Browse to choose a file</translation>
    </message>
    <message>
        <source>Emplacement du fichier à éxécuter</source>
        <translation>Folder of the file to run</translation>
    </message>
    <message>
        <source>Cliquer sur Parcourir pour sélectionner un emplacement</source>
        <translation>Click Browse to choose a folder</translation>
    </message>
    <message>
        <source>  COMMENTAIRES  </source>
        <translation>  COMMENTS  </translation>
    </message>
    <message>
        <source>Vos commentaires (facultatif)</source>
        <translation>Your comment (optional)</translation>
    </message>
    <message>
        <source>Entrer vos commentaires ...</source>
        <translation>Type your comment ...</translation>
    </message>
    <message>
        <source>  OPTIONS  </source>
        <translation>  OPTIONS  </translation>
    </message>
    <message>
        <source>Décocher pour désactiver les bips sonores des 5 dernières secondes</source>
        <translation>Untick for no beeps in the last 5 seconds</translation>
    </message>
    <message>
        <source>  Bip sonore au démarrage</source>
        <translation>  Beep at the start</translation>
    </message>
    <message>
        <source>  Bips sonores sur les 5 dernières secondes</source>
        <translation>  Beeps in the last 5 seconds</translation>
    </message>
    <message>
        <source>  Exécution de l&apos;action à terme</source>
        <translation>  Run the action at zero</translation>
    </message>
    <message>
        <source>Décocher pour désactiver l&apos;éxécution du fichier cible</source>
        <translation>Untick to leave the target file alone at zero</translation>
    </message>
    <message>
        <source>  Fermeture de Minutrex à terme</source>
        <translation>  Close Minutrex at zero</translation>
    </message>
    <message>
        <source>Décocher pour garder Minutrex ouvert pour une éxécution ultérieure de l&apos;action</source>
        <translation>Untick to keep Minutrex open to run the action again later</translation>
    </message>
    <message>
        <source>Annulation</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Simulation</source>
        <translation>Try out</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Choisissez un fichier ...</source>
        <translation>Choose a file ...</translation>
    </message>
    <message>
        <source>Décocher pour désactiver le bip sonore au démarrage</source>
        <translation>Untick for no beep at the start</translation>
    </message>
    <message>
        <source>Tous les Fichiers(*.*) (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Les paramètres ont été modifiés par une autre copie de Minutrex pendant que cette fenêtre était ouverte.

Garder les vôtres remplace les siens ; prendre les siens abandonne ce que vous avez saisi ici.</source>
        <translation>Another copy of Minutrex changed the settings while this window was open.

Keeping yours replaces its settings; taking its settings drops what you entered here.</translation>
    </message>
    <message>
        <source>Garder les miens</source>
        <translation>Keep mine</translation>
    </message>
    <message>
        <source>Prendre les siens</source>
        <translation>Take its settings</translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>un dossier</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>un tube nommé</source>
        <translation>a named pipe</translation>
    </message>
    <message>
        <source>une socket</source>
        <translation>a socket</translation>
    </message>
    <message>
        <source>un périphérique</source>
        <translation>a device</translation>
    </message>
    <message>
        <source>un fichier spécial</source>
        <translation>a special file</translation>
    </message>
    <message>
        <source>%1 n&apos;est pas un fichier ordinaire : c&apos;est %2, il n&apos;est ni lu ni remplacé</source>
        <translation>%1 is not an ordinary file: it is %2, and it is neither read nor replaced</translation>
    </message>
    <message>
        <source>le fichier dépasse la taille permise (1 Mio)</source>
        <translation>the file is larger than allowed (1 MiB)</translation>
    </message>
    <message>
        <source>une valeur ne peut pas être enregistrée telle quelle</source>
        <translation>a value cannot be saved as it stands</translation>
    </message>
    <message>
        <source>les paramètres dépasseraient la taille permise du fichier (1 Mio) ; raccourcissez le commentaire</source>
        <translation>the settings would make the file larger than allowed (1 MiB); shorten the comment</translation>
    </message>
    <message>
        <source>le fichier %1 est en lecture seule : il n&apos;est pas modifié</source>
        <translation>the file %1 is read-only: it is left unchanged</translation>
    </message>
    <message>
        <source>le dossier %1 n&apos;accepte pas de nouveau fichier (%2)</source>
        <translation>the folder %1 takes no new file (%2)</translation>
    </message>
</context>
<context>
    <name>SystemTexts</name>
    <message>
        <source>le dossier de configuration de l&apos;utilisateur est inconnu : XDG_CONFIG_HOME (%1) n&apos;est pas un chemin absolu</source>
        <translation>the user&apos;s configuration folder is unknown: XDG_CONFIG_HOME (%1) is not an absolute path</translation>
    </message>
    <message>
        <source>le dossier de configuration de l&apos;utilisateur est inconnu : HOME ne donne pas un chemin absolu</source>
        <translation>the user&apos;s configuration folder is unknown: HOME gives no absolute path</translation>
    </message>
    <message>
        <source>le dossier %1 ne peut pas être créé (%2)</source>
        <translation>the folder %1 cannot be created (%2)</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="_Error.Message.NoData">
        <source>No data was returned from the server</source>
        <translation>Der Server hat keine Daten zurückgegeben</translation>
    </message>
    <message id="_Error.Message.ServerError">
        <source>There was an error at the server: %1</source>
        <translation>Am Server ist ein Fehler aufgetreten: %1</translation>
    </message>
    <message id="_Error.Message.ServerErrorWithCode">
        <source>There was a general problem at the server (code %1: %2)</source>
        <translation>Am Server ist ein allgemeines Problem aufgetreten (Code %1: %2)</translation>
    </message>
    <message id="_AccountConnectionIssueText.Description">
        <source>We were unable to log in to your account correctly</source>
        <translation>Die Anmeldung bei Ihrem Konto ist nicht gelungen</translation>
    </message>
    <message id="_Error.Message.NetworkConnectionLost">
        <source>The network connection was lost</source>
        <translation>Die Netzwerkverbindung wurde unterbrochen</translation>
    </message>
    <message id="_Error.Message.LoginFail">
        <source>Login details are incorrect</source>
        <translation>Die Anmeldedaten sind nicht korrekt</translation>
    </message>
    <message id="_Error.Message.LoginError">
        <source>There was a problem at the server when attempting to log in (code %1: %2)</source>
        <translation>Beim Anmelden ist am Server ein Problem aufgetreten (Code %1: %2)</translation>
    </message>
    <message id="_Error.Message.Fatal">
        <source>The task could not be completed</source>
        <translation>Der Vorgang konnte nicht abgeschlossen werden</translation>
    </message>
    <message id="_Error.Message.AlreadyExists">
        <source>A user account with this email address already exists</source>
        <translation>Ein Benutzerkonto mit dieser E-Mail-Adresse existiert bereits</translation>
    </message>
    <message id="_Error.Message.CreateFail">
        <source>The user account could not be created (code %1: %2)</source>
        <translation>Das Benutzerkonto konnte nicht angelegt werden (Code %1: %2)</translation>
    </message>
    <message id="_Error.Message.ChangePasswordFail">
        <source>Your password could not be changed (code %1: %2)</source>
        <translation>Ihr Passwort konnte nicht geändert werden (Code %1: %2)</translation>
    </message>
    <message id="_AccountHasLoggedIn.Description">
        <source>You have been logged in to your account</source>
        <translation>Sie sind bei Ihrem Konto angemeldet</translation>
    </message>
    <message id="_AccountCreated.Description">
        <source>Your user account was created</source>
        <translation>Ihr Benutzerkonto wurde angelegt</translation>
    </message>
    <message id="_AccountPasswordChanged.Description">
        <source>Your password was changed</source>
        <translation>Ihr Passwort wurde geändert</translation>
    </message>
    <message id="_LoginAccountCancelled.Description">
        <source>You cancelled logging in before the server had responded.</source>
        <translation>Sie haben die Anmeldung abgebrochen, bevor der Server geantwortet hat.</translation>
    </message>
    <message id="_AccountCreationCancelled.Description">
        <source>You cancelled the account creation before the server responded.</source>
        <translation>Sie haben das Anlegen des Kontos abgebrochen, bevor der Server geantwortet hat.</translation>
    </message>
</context>
</TS>

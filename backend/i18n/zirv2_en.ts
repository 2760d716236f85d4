<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="_Error.Message.NoData">
        <source>No data was returned from the server</source>
        <translation>No data was returned from the server</translation>
    </message>
    <message id="_Error.Message.ServerError">
        <source>There was an error at the server: %1</source>
        <translation>There was an error at the server: %1</translation>
    </message>
    <message id="_Error.Message.ServerErrorWithCode">
        <source>There was a general problem at the server (code %1: %2)</source>
        <translation>There was a general problem at the server (code %1: %2)</translation>
    </message>
    <message id="_AccountConnectionIssueText.Description">
        <source>We were unable to log in to your account correctly</source>
        <translation>We were unable to log in to your account correctly</translation>
    </message>
    <message id="_Error.Message.NetworkConnectionLost">
        <source>The network connection was lost</source>
        <translation>The network connection was lost</translation>
    </message>
    <message id="_Error.Message.LoginFail">
        <source>Login details are incorrect</source>
        <translation>Login details are incorrect</translation>
    </message>
    <message id="_Error.Message.LoginError">
        <source>There was a problem at the server when attempting to log in (code %1: %2)</source>
        <translation>There was a problem at the server when attempting to log in (code %1: %2)</translation>
    </message>
    <message id="_Error.Message.Fatal">
        <source>The task could not be completed</source>
        <translation>The task could not be completed</translation>
    </message>
    <message id="_Error.Message.AlreadyExists">
        <source>A user account with this email address already exists</source>
        <translation>A user account with this email address already exists</translation>
    </message>
    <message id="_Error.Message.CreateFail">
        <source>The user account could not be created (code %1: %2)</source>
        <translation>The user account could not be created (code %1: %2)</translation>
    </message>
    <message id="_Error.Message.ChangePasswordFail">
        <source>Your password could not be changed (code %1: %2)</source>
        <translation>Your password could not be changed (code %1: %2)</translation>
    </message>
    <message id="_AccountHasLoggedIn.Description">
        <source>You have been logged in to your account</source>
        <translation>You have been logged in to your account</translation>
    </message>
    <message id="_AccountCreated.Description">
        <source>Your user account was created</source>
        <translation>Your user account was created</translation>
    </message>
    <message id="_AccountPasswordChanged.Description">
        <source>Your password was changed</source>
        <translation>Your password was changed</translation>
    </message>
    <message id="_LoginAccountCancelled.Description">
        <source>You cancelled logging in before the server had responded.</source>
        <translation>You cancelled logging in before the server had responded.</translation>
    </message>
    <message id="_AccountCreationCancelled.Description">
        <source>You cancelled the account creation before the server responded.</source>
        <translation>You cancelled the account creation before the server responded.</translation>
    </message>
</context>
</TS>

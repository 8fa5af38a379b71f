"""The review page: every change a word list makes to the files named, in a browser,
with rules and changes to turn off before the accepted ones are written.

`session` holds the files and works the changes out through the same passes as
`preview` and `rewrite`; `server` puts it on a loopback address behind a token."""

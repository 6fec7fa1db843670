#!/usr/bin/env bash
# A default browser for the end-to-end test, registered through mimeapps.list as the
# handler of http and https links. It does what a person does on the authority's sign-in
# page: loads it, types an e-mail address, presses Continue, and follows the page that
# answers back to "vantle://", which it opens with xdg-open like a browser hands a link of
# a foreign scheme to the desktop.
#
#   E2E_BROWSER_LOG    file each step is appended to (default: standard error)
#   E2E_BROWSER_EMAIL  the address typed on the page
set -uo pipefail

url="${1:-}"
log="${E2E_BROWSER_LOG:-/dev/stderr}"
email="${E2E_BROWSER_EMAIL:-person@example.test}"

say() { printf 'browser: %s\n' "$*" >>"$log"; }
fail() { say "FAILED: $*"; exit 1; }

say "opened ${url%%\?*}"
case "$url" in
  http://127.0.0.1:*|http://localhost:*) ;;
  *) fail "not a loopback page: $url" ;;
esac

page=$(curl -fsS --max-time 20 "$url") || fail "the sign-in page did not load"
grep -q '<form method="post"' <<<"$page" || fail "no sign-in form on the page"
say "sign-in page loaded"

unescape() { sed -e 's/&quot;/"/g' -e 's/&lt;/</g' -e 's/&gt;/>/g' -e "s/&#39;/'/g" -e 's/&amp;/\&/g'; }

origin=$(sed -E 's#^(https?://[^/]+).*#\1#' <<<"$url")
action=$(grep -o '<form method="post" action="[^"]*"' <<<"$page" | sed -E 's/.*action="([^"]*)"/\1/' | unescape)
fields=()
while IFS= read -r input; do
  [ -n "$input" ] || continue
  name=$(sed -E 's/.* name="([^"]*)".*/\1/' <<<"$input" | unescape)
  value=$(sed -E 's/.* value="([^"]*)".*/\1/' <<<"$input" | unescape)
  fields+=(--data-urlencode "$name=$value")
done < <(grep -o '<input type="hidden" name="[^"]*" value="[^"]*">' <<<"$page")
[ "${#fields[@]}" -gt 0 ] || fail "the form carries no request"

back=$(curl -sS --max-time 20 "${fields[@]}" \
  --data-urlencode "signin_provider=email" --data-urlencode "signin_email=$email" \
  --data-urlencode "signin_decision=allow" "$origin$action") || fail "the form was not accepted"
grep -q 'You can go back to' <<<"$back" || fail "the page after Continue does not send the person back"
location=$(grep -o '<a [^>]*id="back" href="[^"]*"' <<<"$back" | sed -E 's/.*href="([^"]*)".*/\1/' | unescape)
case "$location" in
  vantle://*) ;;
  *) fail "the page did not send the browser back to vantle://, but to '$location'" ;;
esac
say "submitted as $email; sent back to ${location%%\?*}"

xdg-open "$location" >>"$log" 2>&1 || fail "xdg-open could not hand over the redirect (status $?)"
say "handed the redirect to the desktop"

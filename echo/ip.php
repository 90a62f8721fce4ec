<?php
// Corvane's IP-echo page: the caller's address between the two markers the
// program cuts it out from. Put it on any PHP-capable web server and point
// the program's Link setting at it.
//
// Behind a reverse proxy REMOTE_ADDR is the proxy's address; let the web
// server itself set it from the forwarded header (e.g. Apache mod_remoteip,
// nginx real_ip) rather than trusting a header here that any caller can send.
header('Content-Type: text/html; charset=us-ascii');
header('Cache-Control: no-store');
$address = isset($_SERVER['REMOTE_ADDR']) ? $_SERVER['REMOTE_ADDR'] : '';
echo '<html><body><!--startip-->' . htmlspecialchars($address, ENT_QUOTES) . "<!--endip--></body></html>\n";

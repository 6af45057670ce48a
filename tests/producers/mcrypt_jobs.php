<?php
// PHP's mcrypt extension as a producer of the data PHP applications stored: one job a
// line on standard input, "e|d CIPHER MODE KEY IV DATA" with the last three in hex
// ("-" for none), one answer a line on standard output, in hex, or "error".
$unhex = function ($field) { return $field === '-' ? '' : hex2bin($field); };
while (($line = fgets(STDIN)) !== false) {
    [$op, $cipher, $mode, $key, $iv, $data] = explode(' ', trim($line));
    $call = $op === 'e' ? 'mcrypt_encrypt' : 'mcrypt_decrypt';
    $result = @$call($cipher, $unhex($key), $unhex($data), $mode, $unhex($iv));
    echo $result === false ? 'error' : bin2hex($result), "\n";
}

#!/usr/bin/perl
# Checks the host declarations in examples/declarations against include/QVDirectX.h:
# each file declares exactly the header's functions, in the right calling convention,
# with each argument in the type that language needs for the C type; and both def
# files export those names, the 32-bit one with 4 bytes per argument.
# Usage: check-host-declarations.pl SOURCE_DIR
use strict;
use warnings;

my $root = shift @ARGV or die "usage: $0 SOURCE_DIR\n";
my @faults;
sub fault { push @faults, join('', @_) }

sub slurp {
    my ($path) = @_;
    open my $fh, '<', "$root/$path" or die "$path: $!\n";
    local $/;
    my $text = <$fh>;
    $text =~ s/\r//g;
    return $text;
}

sub split_params {
    my ($list, $sep) = @_;
    $list =~ s/^\s+|\s+$//g;
    return () if $list eq '' || $list eq 'void';
    return map { my $p = $_; $p =~ s/^\s+|\s+$//g; $p =~ s/\s+/ /g; $p } split /\Q$sep\E/, $list;
}

# The header: name => list of C argument types (the parameter name dropped).
my %c_kind = (
    'uint8_t' => 'u8', 'HWND' => 'hwnd', 'int32_t' => 'i32', 'int32_t*' => 'i32out',
    'unsigned char*' => 'bytes', 'const char*' => 'str',
);
my $header = slurp('include/QVDirectX.h');
$header =~ s{/\*.*?\*/}{}gs;
my %api;
while ($header =~ /QVDX_API\s+int32_t\s+QVDX_CALL\s+(\w+)\s*\(([^)]*)\)\s*;/g) {
    my ($name, $list) = ($1, $2);
    my @kinds;
    for my $p (split_params($list, ',')) {
        (my $type = $p) =~ s/\s*\w+$//;
        $type =~ s/\s*\*/*/g;
        my $k = $c_kind{$type};
        fault("header: $name: no host mapping for C type '$type'") unless defined $k;
        push @kinds, $k // "?$type";
    }
    $api{$name} = \@kinds;
}
fault('header: no declarations found') unless %api;

sub compare {
    my ($file, %found) = @_;
    for my $name (sort keys %api) {
        if (!exists $found{$name}) { fault("$file: $name is missing"); next; }
        my ($want, $got) = (join(', ', @{$api{$name}}), join(', ', @{$found{$name}}));
        fault("$file: $name takes ($got), the header ($want)") if $want ne $got;
    }
    fault("$file: $_ is not in the header") for grep { !exists $api{$_} } sort keys %found;
}

# Maps a language's spelling of an argument to its kind; an unknown spelling is a fault.
sub kinds_of {
    my ($file, $name, $table, @spellings) = @_;
    my @kinds;
    for my $s (@spellings) {
        my $k = $table->{$s};
        fault("$file: $name: argument '$s' is not one this language needs for the header's types")
            unless defined $k;
        push @kinds, $k // "?$s";
    }
    return @kinds;
}

# C#: [DllImport(...)] public static extern int Name(...);
{
    my $file = 'examples/declarations/QVDirectX.cs';
    my $text = slurp($file);
    $text =~ s{//[^\n]*}{}g;
    my %table = (
        'byte' => 'u8', 'IntPtr' => 'hwnd', 'int' => 'i32', 'out int' => 'i32out',
        '[Out] byte[]' => 'bytes', '[In] byte[]' => 'bytes',
        '[MarshalAs(UnmanagedType.LPStr)] string' => 'str',
    );
    my %found;
    while ($text =~ /\[DllImport\(([^\]]*)\)\]\s*public\s+static\s+extern\s+(\w+)\s+(\w+)\s*\(([^;]*)\)\s*;/g) {
        my ($attr, $ret, $name, $list) = ($1, $2, $3, $4);
        fault("$file: $name returns $ret, not int") if $ret ne 'int';
        fault("$file: $name is not CallingConvention.StdCall")
            unless $attr =~ /CallingConvention\s*=\s*CallingConvention\.StdCall/;
        fault("$file: $name lacks ExactSpelling = true") unless $attr =~ /ExactSpelling\s*=\s*true/;
        my @spellings = map { (my $t = $_) =~ s/\s*\w+$//; $t } split_params($list, ',');
        my @kinds = kinds_of($file, $name, \%table, @spellings);
        if (grep { $_ eq 'str' } @kinds) {
            fault("$file: $name passes text without CharSet.Ansi") unless $attr =~ /CharSet\s*=\s*CharSet\.Ansi/;
            fault("$file: $name lets best-fit mapping change a path") unless $attr =~ /BestFitMapping\s*=\s*false/;
        }
        $found{$name} = \@kinds;
    }
    compare($file, %found);
}

# VB6: Public Declare Function Name Lib "QVDirectX.dll" (...) As Long
{
    my $file = 'examples/declarations/QVDirectX.bas';
    my $text = slurp($file);
    $text =~ s/'[^\n]*//g;
    my %table = (
        'ByVal Byte' => 'u8', 'ByVal Long' => 'i32', 'ByRef Long' => 'i32out',
        'ByRef Byte' => 'bytes', 'ByVal String' => 'str',
    );
    my %found;
    while ($text =~ /Declare\s+(\w+)\s+(\w+)\s+Lib\s+"([^"]*)"\s*(?:Alias\s+"(\w+)"\s*)?\(([^)]*)\)\s*As\s+(\w+)/g) {
        my ($kind, $name, $lib, $alias, $list, $ret) = ($1, $2, $3, $4, $5, $6);
        fault("$file: $name is a $kind, not a Function") if $kind ne 'Function';
        fault("$file: $name comes from $lib, not QVDirectX.dll") if lc($lib) ne 'qvdirectx.dll';
        fault("$file: $name returns $ret, not Long") if $ret ne 'Long';
        $name = $alias if defined $alias;
        my @spellings = map { /^(ByVal|ByRef)\s+\w+\s+As\s+(\w+)$/ ? "$1 $2" : $_ } split_params($list, ',');
        # VB6 is 32-bit only: a window handle is a Long by value.
        my @kinds = kinds_of($file, $name, \%table, @spellings);
        for my $i (0 .. $#kinds) {
            $kinds[$i] = 'hwnd' if $kinds[$i] eq 'i32' && ($api{$name}[$i] // '') eq 'hwnd';
        }
        $found{$name} = \@kinds;
    }
    compare($file, %found);
}

# Delphi: interface "function Name(...): Integer; stdcall;" and implementation
# "function Name; external QVDirectXDll name 'Name';".
{
    my $file = 'examples/declarations/QVDirectX.pas';
    my $text = slurp($file);
    $text =~ s/\{[^}]*\}//g;
    $text =~ s{//[^\n]*}{}g;
    my ($interface, $implementation) = $text =~ /\binterface\b(.*)\bimplementation\b(.*)/s
        or die "$file: no interface and implementation sections\n";
    my %table = (
        'Byte' => 'u8', 'HWND' => 'hwnd', 'Integer' => 'i32', 'var Integer' => 'i32out',
        'PByte' => 'bytes', 'PAnsiChar' => 'str',
    );
    my %found;
    while ($interface =~ /\bfunction\s+(\w+)\s*(?:\(([^)]*)\))?\s*:\s*(\w+)\s*;([^;]*);/g) {
        my ($name, $list, $ret, $directive) = ($1, $2 // '', $3, $4);
        fault("$file: $name returns $ret, not Integer") if $ret ne 'Integer';
        fault("$file: $name is not stdcall") if $directive !~ /^\s*stdcall\s*$/;
        my @spellings;
        for my $group (split_params($list, ';')) {
            my ($mode, $names, $type) = $group =~ /^(?:(var|const|out)\s+)?([\w\s,]+?)\s*:\s*(\w+)$/
                or do { fault("$file: $name: can't read '$group'"); next; };
            push @spellings, ($mode ? "$mode $type" : $type) for split /\s*,\s*/, $names;
        }
        $found{$name} = [kinds_of($file, $name, \%table, @spellings)];
    }
    compare($file, %found);
    my %bound;
    while ($implementation =~ /\bfunction\s+(\w+)\s*;\s*external\s+\w+\s+name\s+'(\w+)'\s*;/g) {
        fault("$file: $1 is bound to the export '$2'") if $1 ne $2;
        $bound{$2} = 1;
    }
    fault("$file: $_ is not bound to an export") for grep { !$bound{$_} } sort keys %found;
}

# The def files: the same names; the 32-bit decoration counts 4 bytes per argument.
sub compare_names {
    my ($file, @names) = @_;
    my %listed = map { $_ => 1 } @names;
    fault("$file: $_ is missing") for grep { !$listed{$_} } sort keys %api;
    fault("$file: $_ is not in the header") for grep { !exists $api{$_} } sort keys %listed;
}
compare_names('interface/QVDirectX.def', slurp('interface/QVDirectX.def') =~ /^\s+(\w+)\s*$/mg);
{
    my $file = 'interface/QVDirectX32.def';
    my @names;
    for (slurp($file) =~ /^\s+(\w+@\d+)\s*$/mg) {
        my ($name, $bytes) = /^(\w+)@(\d+)$/;
        push @names, $name;
        next unless exists $api{$name};
        my $want = 4 * @{$api{$name}};
        fault("$file: $name\@$bytes, but the header's arguments take $want bytes") if $bytes != $want;
    }
    compare_names($file, @names);
}

if (@faults) {
    print "$_\n" for @faults;
    exit 1;
}
printf "%d functions agree: header, C#, VB6, Delphi, def files\n", scalar keys %api;

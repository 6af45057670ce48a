// .NET's RijndaelManaged (as Mono implements it) as a producer of the data .NET
// applications stored: one job a line on standard input,
// "e|d BLOCKBITS FEEDBACKBITS MODE PADDING KEY IV DATA" with the last three in hex
// ("-" for none), MODE and PADDING as .NET names them; one answer a line on standard
// output, in hex, or "error".
using System;
using System.Security.Cryptography;

class RijndaelManagedJobs {
    static byte[] Unhex(string s) {
        if (s == "-") return new byte[0];
        var b = new byte[s.Length / 2];
        for (int i = 0; i < b.Length; ++i) b[i] = Convert.ToByte(s.Substring(2 * i, 2), 16);
        return b;
    }

    static void Main() {
        string line;
        while ((line = Console.In.ReadLine()) != null) {
            var f = line.Split(' ');
            try {
                var r = new RijndaelManaged();
                r.BlockSize = int.Parse(f[1]);
                r.FeedbackSize = int.Parse(f[2]);
                r.Mode = (CipherMode)Enum.Parse(typeof(CipherMode), f[3]);
                r.Padding = (PaddingMode)Enum.Parse(typeof(PaddingMode), f[4]);
                r.Key = Unhex(f[5]);
                if (f[6] != "-") r.IV = Unhex(f[6]);
                var data = Unhex(f[7]);
                var t = f[0] == "e" ? r.CreateEncryptor() : r.CreateDecryptor();
                var o = t.TransformFinalBlock(data, 0, data.Length);
                Console.WriteLine(BitConverter.ToString(o).Replace("-", "").ToLower());
            } catch (Exception) {
                Console.WriteLine("error");
            }
        }
    }
}
